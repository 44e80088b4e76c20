// Opening a file to read without waiting on it: a named pipe nobody writes to never blocks
// the open, and what cannot be read as a file (a pipe, a terminal or another character
// device, a socket) is told apart from a file before a byte is read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

enum class SourceKind {
    Missing,  // could not be opened; `reason` says why
    File,     // a regular file, a block device or a directory: read and seek as a file
    Stream,   // a pipe or a socket: it can be read once, forward only
    Device,   // a terminal or another character device: it may never end
};

struct OpenedSource {
    FILE* stream = nullptr;  // open for binary reading unless kind is Missing
    SourceKind kind = SourceKind::Missing;
    std::string reason;  // the system's words for a failed open, or what the source is
};

// Opens `name` ("rb") without blocking in the open; reads on the stream then block as usual.
OpenedSource OpenSource(const char* name);

// The same for a descriptor already open (standard input); the stream takes it over.
OpenedSource AdoptSource(int descriptor);

// How many bytes of a file lie after the stream's position; -1 when that is not known (a
// pipe, a stream of no descriptor).
int64_t BytesLeftToRead(FILE* stream);
