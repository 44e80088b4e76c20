#include "tools/rmtool/tool_common.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

void ThrowToolError(const std::string& message) {
    throw ToolError{message, 1};
}
void ThrowUsageError(const std::string& message) {
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

namespace {

// The temporary files being written, for the signal handler: fixed slots, read there without
// allocating. A slot is filled and emptied with the signals blocked.
constexpr int TempSlots = 8;
constexpr size_t TempPathMax = 4096;
char TempPaths[TempSlots][TempPathMax];
volatile sig_atomic_t TempUsed[TempSlots];

constexpr int CleanUpSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Removes every temporary file, then ends as the signal would have, which a shell reports as
// 128 + its number.
void RemoveTempsAndEnd(int signal) {
    for (int i = 0; i < TempSlots; ++i)
        if (TempUsed[i]) unlink(TempPaths[i]);
    // The handler runs with the default action back in place and the signal unblocked.
    raise(signal);
    _exit(128 + signal);
}

class SignalsHeld {
   public:
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int s : CleanUpSignals) sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &saved_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

   private:
    sigset_t saved_;
};

int RegisterTemp(const std::string& temp) {
    for (int i = 0; i < TempSlots; ++i) {
        if (TempUsed[i] || temp.size() >= TempPathMax) continue;
        memcpy(TempPaths[i], temp.c_str(), temp.size() + 1);
        TempUsed[i] = 1;
        return i;
    }
    return -1;  // more files at once than slots: this one is still removed on failures
}

void ForgetTemp(int slot) {
    if (slot >= 0) TempUsed[slot] = 0;
}

// Abandons the file: closes it and removes its temporary name.
void Abandon(FILE*& out, const std::string& temp, int& slot) {
    SignalsHeld held;
    if (out != nullptr) fclose(out);
    out = nullptr;
    unlink(temp.c_str());
    ForgetTemp(slot);
    slot = -1;
}

}  // namespace

void RemoveTempFilesOnSignals() {
    struct sigaction action = {};
    action.sa_handler = RemoveTempsAndEnd;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int s : CleanUpSignals) {
        struct sigaction old;
        // A signal the caller chose to ignore (nohup's SIGHUP) stays ignored.
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
}

AtomicFile::AtomicFile(const std::string& path, bool force) : path_(path), force_(force) {
    struct stat info;
    if (!force && lstat(path.c_str(), &info) == 0)
        ThrowToolError(path + ": already exists (use --force to replace it)");
    temp_ = path + ".tmp-XXXXXX";
    // Created once (mkstemp opens with O_EXCL) and written through that descriptor only: the
    // name is never opened again, so nothing put in its place can redirect the writing.
    SignalsHeld held;
    const int fd = mkstemp(temp_.data());
    if (fd < 0)
        ThrowToolError(path + ": cannot create a temporary file beside it: " + strerror(errno));
    slot_ = RegisterTemp(temp_);
    fd_ = fd;
    // Writers that take a FILE* (libpng, giflib) report a failed write in their own words;
    // the stream keeps the system's reason for it.
    cookie_io_functions_t io{};
    io.write = [](void* cookie, const char* bytes, size_t count) -> ssize_t {
        auto* file = static_cast<AtomicFile*>(cookie);
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(file->fd_, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (file->writeError_ == 0) file->writeError_ = n < 0 ? errno : ENOSPC;
                return done > 0 ? static_cast<ssize_t>(done) : -1;
            }
            done += static_cast<size_t>(n);
        }
        return static_cast<ssize_t>(done);
    };
    io.close = [](void* cookie) { return close(static_cast<AtomicFile*>(cookie)->fd_); };
    out_ = fopencookie(this, "wb", io);
    struct stat own;
    if (out_ == nullptr || fstat(fd, &own) != 0) {
        const int error = errno;
        if (out_ == nullptr) close(fd);
        Abandon(out_, temp_, slot_);
        ThrowToolError(path + ": cannot write: " + strerror(error));
    }
    device_ = own.st_dev;
    inode_ = own.st_ino;
}

AtomicFile::~AtomicFile() {
    if (out_ != nullptr) Abandon(out_, temp_, slot_);
}

void AtomicFile::Write(const void* bytes, size_t count) {
    if (count > 0 && fwrite(bytes, 1, count, out_) != count)
        ThrowToolError(path_ +
                       ": cannot write: " + strerror(writeError_ != 0 ? writeError_ : errno));
    written_ += count;
}

std::string AtomicFile::FailureReason(const std::string& writersOwn) const {
    return writeError_ != 0 ? strerror(writeError_) : writersOwn;
}

void AtomicFile::Commit() {
    // mkstemp makes the file private; give it the usual permissions of a new file.
    const mode_t mask = umask(0);
    umask(mask);
    if (fflush(out_) != 0 || ferror(out_) != 0 || fchmod(fd_, 0666 & ~mask) != 0) {
        const int error = writeError_ != 0 ? writeError_ : errno;
        Abandon(out_, temp_, slot_);
        ThrowToolError(path_ + ": cannot write: " + strerror(error));
    }
    SignalsHeld held;
    FILE* out = out_;
    out_ = nullptr;
    if (fclose(out) != 0) {
        const int error = writeError_ != 0 ? writeError_ : errno;
        Abandon(out_, temp_, slot_);
        ThrowToolError(path_ + ": cannot write: " + strerror(error));
    }
    // The name must still be the file written: one swapped in its place is never installed.
    struct stat named;
    if (lstat(temp_.c_str(), &named) != 0 || named.st_dev != device_ || named.st_ino != inode_) {
        Abandon(out_, temp_, slot_);
        ThrowToolError(path_ + ": the temporary file " + temp_ +
                       " was replaced while it was written");
    }
    if (!force_) {
        // link() refuses an existing name, so a file that appeared since the first check is
        // never replaced either. Some file systems have no hard links: rename there.
        if (link(temp_.c_str(), path_.c_str()) == 0) {
            Abandon(out_, temp_, slot_);
            return;
        }
        if (errno == EEXIST) {
            Abandon(out_, temp_, slot_);
            ThrowToolError(path_ + ": already exists (use --force to replace it)");
        }
    }
    if (rename(temp_.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        Abandon(out_, temp_, slot_);
        ThrowToolError(path_ + ": cannot put the new file in place: " + strerror(error));
    }
    ForgetTemp(slot_);
    slot_ = -1;
}
