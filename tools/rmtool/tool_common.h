// What every part of rmtool shares: the indexed frame it moves between formats, its errors
// and its progress line.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

// One picture as the tool moves it between PNG, GIF and metafile: top row first, one colour
// index per pixel, and the colours those indices stand for.
struct IndexedFrame {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width * height, top row first
    std::vector<Rgb> palette;     // 1 to 256 entries; every pixel indexes into it
};

// A failure the command cannot go on from. Its message names the file and what is wrong;
// main prints it as one line on stderr and ends with a non-zero status.
struct ToolError {
    std::string message;
    int status = 1;
};
[[noreturn]] void ThrowToolError(const std::string& message);
[[noreturn]] void ThrowUsageError(const std::string& message);  // status 2: a wrong command line

// A one-line bar on stderr with frames done and the total, only when stderr is a terminal.
// total 0 means the total is not known.
class Progress {
   public:
    Progress(const std::string& label, uint32_t total);
    ~Progress();
    void Step(uint32_t done);
    void SetTotal(uint32_t total) { total_ = total; }
    bool Shown() const { return shown_; }
    void Finish();

   private:
    std::string label_;
    uint32_t total_;
    bool shown_;
    bool drawn_ = false;
    long long lastDrawMs_ = -1000;
};

// A file written piece by piece under a temporary name beside `path` (PATH.tmp-XXXXXX), put
// in place by Commit, so a failure never leaves half a file; if it is never committed, the
// temporary file is removed. An existing `path` is refused unless `force`, before anything is
// written and again when the file is put in place.
class AtomicFile {
   public:
    AtomicFile(const std::string& path, bool force);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    void Write(const void* bytes, size_t count);
    // The open temporary file, for writers that take a FILE* (libpng); Written() then does
    // not count what they write.
    FILE* Stream() const { return out_; }
    void Commit();
    uint64_t Written() const { return written_; }
    // Why a writer on Stream() failed: the system's reason for a failed write ("No space left
    // on device"), else the writer's own message.
    std::string FailureReason(const std::string& writersOwn) const;

   private:
    std::string path_;
    std::string temp_;
    bool force_;
    FILE* out_ = nullptr;
    int fd_ = -1;
    int writeError_ = 0;  // errno of the first failed write
    int slot_ = -1;       // where the signal handler finds the temporary name
    dev_t device_ = 0;
    ino_t inode_ = 0;
    uint64_t written_ = 0;
};

// SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the temporary files of every AtomicFile not yet
// committed, then end the process as the signal does (a shell sees 128 + its number).
void RemoveTempFilesOnSignals();
