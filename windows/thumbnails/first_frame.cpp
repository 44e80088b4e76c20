#include "windows/thumbnails/first_frame.h"

#include <windows.h>

#include <climits>
#include <new>

#include "rm/block_reader.h"
#include "rm/frame_locator.h"
#include "shell/command_line.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

namespace {

// Held for a whole request: State, and the stream below, belong to one request at a time.
SRWLOCK ReaderLock = SRWLOCK_INIT;
IStream* Source = nullptr;
int64_t SourcePosition = -1;  // where the next Read reads, -1 when not known

// State.ReadBlockAt for the request under way: the 512 bytes at `offset` of Source.
bool ReadSourceBlock(int64_t offset, uint8_t* block) {
    if (offset != SourcePosition) {
        LARGE_INTEGER at;
        at.QuadPart = offset;
        SourcePosition = -1;
        if (FAILED(Source->Seek(at, STREAM_SEEK_SET, nullptr))) return false;
        SourcePosition = offset;
    }
    ULONG total = 0;
    while (total < BlockSize) {
        ULONG got = 0;
        const HRESULT result = Source->Read(block + total, BlockSize - total, &got);
        if (FAILED(result) || got == 0 || got > BlockSize - total) {
            SourcePosition = -1;
            return false;
        }
        total += got;
        SourcePosition += got;
    }
    return true;
}

// The viewer's state as rmtool thumbnail has it: the defaults and the selection of an
// empty command line, with no box for a fatal error.
void StartReader(IStream* stream) {
    FreeStateArrays();
    State = ViewerState{};
    InitDefaults();
    State.SilentErrors = 1;
    char program[] = "kinaro";
    char* argv[] = {program, nullptr};
    ParseCommandLine(1, argv);
    Source = stream;
    SourcePosition = -1;
    State.ReadBlockAt = ReadSourceBlock;
}

HRESULT ReadLocked(IStream* stream, uint32_t box, Thumbnail& thumbnail) {
    StartReader(stream);
    ScopedImage image;
    InitImage(image);
    // No frame at all; the viewer would stop with "File is not in Raster Metafile format".
    if (GetFileImage(image, 0) != 0) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    if (!ArrayHoldsFrame(image)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    thumbnail.size = FitWithin(image.IW, image.IH, static_cast<int32_t>(box));
    thumbnail.rgb = ReduceByAreaAverage(image, thumbnail.size);
    return S_OK;
}

}  // namespace

HRESULT ReadFirstFrameThumbnail(IStream* stream, uint32_t box, Thumbnail& thumbnail) {
    if (stream == nullptr || box == 0 || box > INT32_MAX) return E_INVALIDARG;
    AcquireSRWLockExclusive(&ReaderLock);
    HRESULT result;
    try {
        result = ReadLocked(stream, box, thumbnail);
    } catch (const ProcessEnded&) {
        // A fatal error of the reader: a damaged file.
        result = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    } catch (const std::bad_alloc&) {
        result = E_OUTOFMEMORY;
    } catch (...) {
        result = E_FAIL;
    }
    FreeStateArrays();
    State.ReadBlockAt = nullptr;
    Source = nullptr;
    ReleaseSRWLockExclusive(&ReaderLock);
    return result;
}
