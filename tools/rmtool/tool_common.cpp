#include "tools/rmtool/tool_common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

void Fail(const std::string& message) {
    throw ToolError{message, 1};
}
void FailUsage(const std::string& message) {
    throw ToolError{message, 2};
}

static long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Progress::Progress(const std::string& label, uint32_t total)
    : label_(label), total_(total), shown_(isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() {
    Finish();
}

void Progress::Step(uint32_t done) {
    if (!shown_) return;
    // Redrawing costs a write per frame; a few times a second is enough to look alive.
    long long now = NowMs();
    if (now - lastDrawMs_ < 100 && done != total_) return;
    lastDrawMs_ = now;
    constexpr int barWidth = 30;
    std::string bar;
    if (total_ > 0) {
        uint32_t shown = done > total_ ? total_ : done;
        int filled = static_cast<int>(static_cast<uint64_t>(shown) * barWidth / total_);
        bar = "[";
        bar.append(filled, '#').append(barWidth - filled, ' ');
        bar.append("] ").append(std::to_string(done)).append("/").append(std::to_string(total_));
    } else {
        bar = std::to_string(done);
    }
    fprintf(stderr, "\r%s %s frames\033[K", label_.c_str(), bar.c_str());
    fflush(stderr);
    drawn_ = true;
}

void Progress::Finish() {
    if (drawn_) {
        // Clear the bar so that whatever follows starts on a clean line.
        fprintf(stderr, "\r\033[K");
        fflush(stderr);
        drawn_ = false;
    }
    shown_ = false;
}

// Claims a temporary name next to `path`, after the overwrite check.
static std::string BeginAtomicWrite(const std::string& path, bool force) {
    struct stat info;
    if (!force && lstat(path.c_str(), &info) == 0) {
        Fail(path + ": already exists (use --force to replace it)");
    }
    std::string temp = path + ".tmp-XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) Fail(path + ": cannot create a temporary file beside it: " + strerror(errno));
    close(fd);
    return temp;
}

static void CommitAtomicWrite(const std::string& temp, const std::string& path, bool force) {
    // mkstemp makes the file private; give it the usual permissions of a new file.
    mode_t mask = umask(0);
    umask(mask);
    chmod(temp.c_str(), 0666 & ~mask);
    if (!force) {
        // link() refuses an existing name, so a file that appeared since the first check is
        // never replaced either. Some file systems have no hard links: rename there.
        if (link(temp.c_str(), path.c_str()) == 0) {
            unlink(temp.c_str());
            return;
        }
        if (errno == EEXIST) {
            std::remove(temp.c_str());
            Fail(path + ": already exists (use --force to replace it)");
        }
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        int error = errno;
        std::remove(temp.c_str());
        Fail(path + ": cannot put the new file in place: " + strerror(error));
    }
}

static void AbandonAtomicWrite(const std::string& temp) {
    std::remove(temp.c_str());
}

AtomicFile::AtomicFile(const std::string& path, bool force)
    : path_(path), temp_(BeginAtomicWrite(path, force)), force_(force) {
    out_ = fopen(temp_.c_str(), "wb");
    if (out_ == nullptr) {
        int error = errno;
        AbandonAtomicWrite(temp_);
        Fail(path + ": cannot write: " + strerror(error));
    }
}

AtomicFile::~AtomicFile() {
    if (out_ != nullptr) {
        fclose(out_);
        AbandonAtomicWrite(temp_);
    }
}

void AtomicFile::Write(const void* bytes, size_t count) {
    if (count > 0 && fwrite(bytes, 1, count, out_) != count)
        Fail(path_ + ": cannot write: " + strerror(errno));
    written_ += count;
}

void AtomicFile::Commit() {
    FILE* out = out_;
    out_ = nullptr;
    if (fclose(out) != 0) {
        int error = errno;
        AbandonAtomicWrite(temp_);
        Fail(path_ + ": cannot write: " + strerror(error));
    }
    CommitAtomicWrite(temp_, path_, force_);
}
