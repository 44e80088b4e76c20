#include "rm/frame_locator.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "placement/placement.h"
#include "rm/block_reader.h"
#include "rm/frame_header.h"
#include "rm/rle_decoder.h"
#include "shell/diagnostics.h"

// The table of positions this reader allocated, and its entries. MaxFrames is fixed before
// the first frame is read; should it grow later, the table does not, and positions past it
// are never written.
static const int64_t* PositionsTable = nullptr;
static uint32_t PositionsEntries = 0;

static uint32_t PositionsCapacity() {
    return State.ImageFilePositions == PositionsTable ? PositionsEntries : State.MaxFrames;
}

static bool BlockIsHeader() {
    return std::memcmp(State.Block, HeaderMarkerBytes, sizeof HeaderMarkerBytes) == 0;
}

// A long stretch without a header (gigabytes of zeros, a sparse file) keeps the one thread
// here: every so many blocks the scan looks whether the user asked to end (the window
// closed, Q or Escape pressed first) and ends the viewer as the quit command does. Nothing
// else is taken from the queue, so the reading itself goes on exactly as before.
constexpr int32_t BlocksBetweenLooks = 8192;  // 4 MB

static void EndIfAskedTo() {
    MSG message;
    const bool quit = PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
    const bool quitKey = PeekMessageA(&message, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE) &&
                         (message.wParam == 'Q' || message.wParam == 0x1B);
    if (!quit && !quitKey) return;
    LogAt(3, "Scan ended by the user\n");
    CleanUp(true);
    EndProcess(0);
}

// Reads forward to the header of file image `n`, recording the position of every header met
// on the way. False at the end of the file.
static bool FindNewHeader(uint32_t index, int64_t n) {
    LogAt(3, " - New One In File (%d/%d)\n", static_cast<int>(index), static_cast<int>(n));
    for (;;) {
        if (!ReadBlock()) {
            LogAt(3, "Failed to read\n");
            return false;
        }
        if (!BlockIsHeader()) {
            if (State.BlockNumber % BlocksBetweenLooks == 0) EndIfAskedTo();
            continue;
        }
        if (static_cast<int64_t>(State.LastFileImage) + 1 >=
            static_cast<int64_t>(PositionsCapacity()))
            FatalError("GetFileImage",
                       "Too many images in Raster Metafile (MAX = %ld)\n\tSet \"-max\" parameter "
                       "higher",
                       PositionsCapacity());
        ++State.LastFileImage;
        State.ImageFilePositions[State.LastFileImage] =
            static_cast<int64_t>(State.BlockNumber) * BlockSize;
        if (State.LastFileImage == n) return true;
        LogAt(3, "Skipping to next\n");
    }
}

static void ReturnToHeader(uint32_t index, int64_t n) {
    LogAt(3, " - Old One In File (%d/%d)\n", static_cast<int>(index), static_cast<int>(n));
    int64_t position = State.ImageFilePositions[n];
    // A failed seek shows in the read that follows. Offsets go past 4 GB: a 64-bit seek.
    SeekMetafile(position, SEEK_SET);
    State.BlockNumber = static_cast<int32_t>(position / BlockSize - 1);
    if (!ReadBlock())
        FatalError("GetFileImage", "Header not found on return to previous file position", 0);
}

int32_t GetFileImage(Image& image, uint32_t index) {
    if (State.ImageFilePositions == nullptr) {
        State.ImageFilePositions = static_cast<int64_t*>(
            std::calloc(State.MaxFrames == 0 ? 1 : State.MaxFrames, sizeof(int64_t)));
        PositionsTable = State.ImageFilePositions;
        PositionsEntries = State.MaxFrames;
        if (State.ImageFilePositions == nullptr)
            FatalError("GetFileImage",
                       "Cannot allocate memory for image file positions (%ld)\n\tTry setting "
                       "\"-max\" parameter down",
                       0);
    }

    uint32_t fileImage = AllOnes;
    if (index < State.MaxFrames && State.FileImageNumber != nullptr)
        fileImage = State.FileImageNumber[index];
    // A table entry at or past MaxFrames could not be recorded; it counts as past the
    // selection like all-ones.
    if (fileImage >= State.MaxFrames) fileImage = AllOnes;
    LogAt(1, "Getting Image #%d/%d\n", static_cast<int>(index), static_cast<int>(fileImage));
    if (fileImage == AllOnes) {
        LogAt(3, "Beyond FileImageNumber\n");
        return -1;
    }

    const int64_t n = fileImage;
    if (n > State.LastFileImage) {
        if (!FindNewHeader(index, n)) return -1;
    } else {
        ReturnToHeader(index, n);
    }

    if (image.Pixels != nullptr) {
        int32_t oldWidth = image.IW;
        int32_t oldHeight = image.IH;
        GetHeader(image);
        if (image.IW != oldWidth || image.IH != oldHeight) {
            State.ResizePending = 1;
            LogAt(4, "Change in image size, resizing\n");
            FreeImageArray(image);
        }
    } else {
        GetHeader(image);
    }

    PlaceImage(image);

    if (State.LUTLoaded == 0) {
        GetLUT(image);
        SetUpLUT(image);
        State.LUTLoaded = State.MultipleColormaps == 0 ? 1 : 0;
    }

    if (image.Pixels == nullptr) AllocImageArray(image);
    GetRLE(image, 0);

    LogAt(8, "Leaving %s\n", "GetFileImage");
    image.Index = static_cast<int32_t>(index);
    return static_cast<int32_t>(index);
}

void ExchangeLocatorTable(LocatorTable& other) {
    std::swap(PositionsTable, other.positions);
    std::swap(PositionsEntries, other.entries);
}
