#include "platform/source_file.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
SourceKind KindOf(int descriptor) {
    switch (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)))) {
        case FILE_TYPE_DISK: return SourceKind::File;
        case FILE_TYPE_PIPE: return SourceKind::Stream;
        default: return SourceKind::Device;
    }
}

const char* Describe(SourceKind kind) {
    return kind == SourceKind::Stream ? "a pipe, not a file" : "a device, not a file";
}
#else
SourceKind KindOf(int descriptor, const char** description) {
    struct stat info;
    if (fstat(descriptor, &info) != 0) {
        *description = "cannot be examined";
        return SourceKind::Device;
    }
    if (S_ISFIFO(info.st_mode)) {
        *description = "a pipe, not a file";
        return SourceKind::Stream;
    }
    if (S_ISSOCK(info.st_mode)) {
        *description = "a socket, not a file";
        return SourceKind::Stream;
    }
    if (S_ISCHR(info.st_mode)) {
        *description =
            isatty(descriptor) ? "a terminal, not a file" : "a character device, not a file";
        return SourceKind::Device;
    }
    *description = "a file";
    return SourceKind::File;
}
#endif

}  // namespace

OpenedSource AdoptSource(int descriptor) {
    OpenedSource source;
#ifdef _WIN32
    source.kind = KindOf(descriptor);
    source.reason = source.kind == SourceKind::File ? "a file" : Describe(source.kind);
    source.stream = _fdopen(descriptor, "rb");
#else
    const char* description = "";
    source.kind = KindOf(descriptor, &description);
    source.reason = description;
    // The open did not wait for a writer; reads do, as they should.
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags >= 0 && (flags & O_NONBLOCK) != 0) fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    source.stream = fdopen(descriptor, "rb");
#endif
    if (source.stream == nullptr) {
        source.kind = SourceKind::Missing;
        source.reason = strerror(errno);
    }
    return source;
}

OpenedSource OpenSource(const char* name) {
#ifdef _WIN32
    FILE* stream = fopen(name, "rb");
    if (stream == nullptr) {
        OpenedSource missing;
        missing.reason = strerror(errno);
        return missing;
    }
    OpenedSource source;
    source.stream = stream;
    source.kind = KindOf(_fileno(stream));
    source.reason = source.kind == SourceKind::File ? "a file" : Describe(source.kind);
    return source;
#else
    // O_NONBLOCK: a named pipe opens at once even when nobody writes to it. O_NOCTTY: a
    // terminal named by mistake never becomes the controlling one.
    const int descriptor = open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        OpenedSource missing;
        missing.reason = strerror(errno);
        return missing;
    }
    OpenedSource source = AdoptSource(descriptor);
    if (source.kind == SourceKind::Missing) close(descriptor);
    return source;
#endif
}

int64_t BytesLeftToRead(FILE* stream) {
    if (stream == nullptr) return -1;
#ifdef _WIN32
    const int descriptor = _fileno(stream);
    struct _stat64 info;
    if (descriptor < 0 || _fstat64(descriptor, &info) != 0 || (info.st_mode & _S_IFREG) == 0)
        return -1;
    const int64_t position = _ftelli64(stream);
#else
    const int descriptor = fileno(stream);
    struct stat info;
    if (descriptor < 0 || fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    const int64_t position = ftello(stream);
#endif
    if (position < 0) return -1;
    return info.st_size > position ? info.st_size - position : 0;
}
