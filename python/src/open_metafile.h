// One metafile open for reading through the viewer's own reader, with reader state of its own.
//
// The reader keeps all its state in the one ViewerState, `State`, and the frame locator keeps
// beside it which table of positions it allocated (LocatorTable): one reader per process, as
// the viewer needs. Here every open file holds a complete set of its own (a ViewerState, a
// LocatorTable and the Image it decodes into). Each call into the reader takes ReaderMutex,
// one lock for the process, exchanges the file's set with the one in place, calls the reader
// and exchanges them back, also when the reader throws. So any number of files can be open at
// once, each reading its own frames in any order, from any thread, one call at a time; the
// viewer's code and behaviour stay as they are. The headless desktop under the reader (where a
// fatal error's box goes) is process-wide too and is touched only under the same lock.
//
// The lock is taken by plain C++ code: callers that hold Python's GIL release it first, and
// nothing here waits for the GIL while holding the lock, so the two can never deadlock.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "format/metafile_format.h"
#include "platform/memory.h"
#include "rm/frame_locator.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

// The viewer's options that select and adjust frames: -f, -max, -s, -g, -w.
struct ReadOptions {
    bool selectFrames = false;
    int64_t first = 1, last = 0, skip = 1;  // -f first,last,skip (frames counted from 1)
    int64_t maxFrames = DefaultMaxFrames;   // -max
    bool sharedTable = false;               // -s
    bool grey = false;                      // -g
    int64_t widen = 0;                      // -w
};

// A fatal error of the reader, as the viewer would have reported it, for image `index`.
struct MetafileFailure {
    FatalRecord record;
    uint32_t index = 0;
    std::string path;
};

// The viewer refused the options (its usage box); `options` says which were given.
struct OptionsRefused {
    std::string options;
};

// A system error opening the file: errno and the name.
struct OpenFailure {
    int error = 0;
    std::string path;
};

// A frame's indices are taken with AllocZeroedPages, as the reader's image arrays are: a large
// frame gets pages of its own, huge pages where the system has them, so that keeping many
// frames costs a fault per frame rather than one per 4 KB page. The arrays of frames let go
// serve the next frames of their size (TakeFrameBytes), so that reading frames one after
// another reuses memory already touched.
uint8_t* TakeFrameBytes(size_t size);
void GiveBackFrameBytes(uint8_t* bytes, size_t size);
struct FreePages {
    size_t size = 0;
    void operator()(uint8_t* p) const { GiveBackFrameBytes(p, size); }
};
using FrameBytes = std::unique_ptr<uint8_t, FreePages>;

// One decoded frame as the viewer shows it: IW x IH colour indices, top row first.
struct DecodedFrame {
    uint32_t index = 0;      // position in the viewing sequence
    uint32_t fileImage = 0;  // the frame's number in the file
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    bool grey = false;  // the file's table is grey (colour flag 0)
    uint8_t fill[3] = {0, 0, 0};
    FrameBytes indices;            // width * height bytes
    std::vector<uint8_t> palette;  // LUTSize entries of red, green, blue
};

class OpenMetafile {
   public:
    // Opens `path` (or, as the viewer does when that fails, `path` with ".rm") with the
    // viewer's options and fetches image 0 as the viewer does first. Throws OpenFailure,
    // OptionsRefused or MetafileFailure.
    OpenMetafile(const std::string& path, const ReadOptions& options);
    ~OpenMetafile();
    OpenMetafile(const OpenMetafile&) = delete;
    OpenMetafile& operator=(const OpenMetafile&) = delete;

    const std::string& Path() const { return path_; }

    // Image `index` of the selection, or nothing past the selection or the end of the file.
    // A frame whose header was met before is found again by seeking to its recorded position.
    // Throws MetafileFailure.
    std::optional<DecodedFrame> Fetch(uint32_t index);

    // How many images the selection can yield at most: the selected frames whose headers
    // the file holds.
    uint32_t SelectedCount();

    // What `rmtool info --json` reports on the file with the same options: the JSON document,
    // which names the frame that failed, if one did. Read through a reader state of its own,
    // so this file's position and frames are left alone.
    std::string InfoReport();

    // Closes the file and frees the reader's arrays; later calls find no frames. Every call
    // looks at and changes the file's members under the lock, so one thread may close a file
    // that another reads.
    void Close();

   private:
    OpenMetafile() = default;  // a reader state alone, with no file
    struct Exchange;           // the file's reader state in place for one call
    DecodedFrame CopyOut(uint32_t index) const;
    void Reopen();

    std::string path_;
    int keptDescriptor_ = -1;  // a duplicate, to reopen the stream that a fatal error closed
    ViewerState state_;
    LocatorTable table_;
    ScopedImage image_;
    bool open_ = false;
    // Where the stream stood after the last frame found by reading forward (the frame of
    // LastFileImage), and whether it still stands there: a search for a later frame must
    // start from there, as it does in the viewer.
    int64_t frontierOffset_ = 0;
    int32_t frontierBlock_ = -1;
    bool atFrontier_ = true;
    // The fatal error met while reading forward: no frame past it can be reached.
    std::optional<MetafileFailure> blocked_;
    // The image whose decoding the record still holds, so that asking for it again costs no
    // decoding (the result would be the same).
    std::optional<uint32_t> held_;
    std::vector<std::string> arguments_;  // the viewer's command line; it may keep pointers
    std::optional<uint32_t> selected_;
};
