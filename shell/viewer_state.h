// The viewer's one process-wide record, `ViewerState`, and the `Image` record that holds one
// decoded picture. Every routine reads and writes `State` directly, never as an argument;
// what routines pass each other are `Image` records and plain values (a command, an image
// index, a size, a routine name and message for FatalError).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "format/metafile_format.h"
#include "platform/win32.h"

constexpr uint32_t AllOnes = 0xFFFFFFFFu;

// Playback modes; the timer passes `Mode` to DoImage as the command of the same number.
enum ModeValue : int32_t {
    Stopped = 0,
    Forward = 1,
    Quit = 2,
    Backward = 3,
    Loop = 4,
    Cycle = 5,
};

// One LUT entry, laid out as the platform's palette entry so that a LUT is handed to
// palette animation unchanged. Flags is 1 (reserved for animation) in every entry.
struct LUTEntry {
    uint8_t Red;
    uint8_t Green;
    uint8_t Blue;
    uint8_t Flags;
};
static_assert(sizeof(LUTEntry) == sizeof(PALETTEENTRY), "LUT entries are palette entries");

// One decoded picture and where it is drawn. Plain data: copying a record shares its
// `Pixels` and `LUT` arrays (buffered viewing relies on that).
struct Image {
    int32_t IL = 0;  // left column in the client area
    int32_t IR = 0;  // right column, inclusive
    int32_t IT = 0;  // top row
    int32_t IB = 0;  // bottom row, inclusive
    int32_t Index = 0;
    int32_t IW = 0;
    int32_t IH = 0;
    int32_t Depth = 0;
    int32_t ScanLineWidth = 0;
    uint8_t FillValues[3] = {0, 0, 0};
    // IH rows of ScanLineWidth bytes, bottom row first, plus spare bytes for a negative
    // WidthAdjust. PixelsSize is the number of bytes actually allocated: the decoder never
    // writes outside [Pixels, Pixels + PixelsSize).
    uint8_t* Pixels = nullptr;
    size_t PixelsSize = 0;
    uint16_t LUTSize = 0;     // entries in use: 1 << Depth; 0 = no LUT yet
    uint16_t ColorFlag = 0;   // 0 = grey table, 1 = red, green and blue tables
    LUTEntry* LUT = nullptr;  // room for a multiple of 256 entries
};

struct ViewerState {
    // Settings.
    int MultipleColormaps = 0;
    uint32_t BufferCount = 0;
    uint32_t MaxFrames = 0;
    uint32_t FirstFrame = 0;
    uint32_t LastFrame = 0;
    uint32_t FrameSkip = 0;
    int32_t WidthAdjust = 0;
    int32_t Wait = 0;
    int Grayscale = 0;
    int FullScreen = 0;
    int ShowInfo = 0;
    int32_t RepeatLimit = 0;
    int16_t LogLevel = 0;
    FILE* LogFile = nullptr;

    // Playback state.
    uint32_t CurrentImage = 0;
    uint32_t ShownImage = AllOnes;
    uint32_t TotalImages = AllOnes;
    int PutPending = 0;
    int32_t Mode = Stopped;
    int16_t Direction = 0;
    UINT_PTR TimerId = 0;
    int32_t LastTime = 0;
    int32_t RepeatCount = 0;
    int WindowOpen = 0;
    int ResizePending = 0;
    int WaitLogged = 0;
    int LUTLoaded = 0;
    int LUTPut = 0;
    UINT EventMessage = 0;
    WPARAM EventWParam = 0;
    LPARAM EventLParam = 0;
    int16_t PressedButton = 0;
    int32_t LeftButton = 0;
    int32_t MiddleButton = 0;
    int32_t RightButton = 0;

    // Window geometry: inclusive bounds of the client area, and its size.
    int32_t WL = 0;
    int32_t WR = 0;
    int32_t WT = 0;
    int32_t WB = 0;
    int32_t WW = 0;
    int32_t WH = 0;

    // Platform handles.
    HINSTANCE Instance = nullptr;
    HINSTANCE PrevInstance = nullptr;
    int CmdShow = 0;
    HWND MainWindow = nullptr;
    HMENU Menu = nullptr;
    HPALETTE Palette = nullptr;
    HDC PaintDC = nullptr;
    const char* WindowClassName = nullptr;

    // File state. A program that reads from something other than a file (the Windows
    // thumbnail handler reads a COM stream) sets ReadBlockAt: it reads the block at
    // `offset`, true when all were read, and MetafileStream stays unused.
    FILE* MetafileStream = nullptr;
    bool (*ReadBlockAt)(int64_t offset, uint8_t* block) = nullptr;
    uint8_t Block[BlockSize] = {};
    int32_t BlockNumber = -1;
    int32_t LastFileImage = -1;
    int64_t* ImageFilePositions = nullptr;  // byte offsets: files run up to 1 TiB
    uint32_t* FileImageNumber = nullptr;
    Image* ImageList = nullptr;
    Image DisplayImage;

    // Set by a host with no one to answer a box (the thumbnail handler): a fatal error then
    // shows none and only ends through EndProcess.
    int SilentErrors = 0;

    // Re-entry guards of the information boxes.
    int UsageShowing = 0;
    int ControlsShowing = 0;

    // Origin of ElapsedMs, in the platform's performance-counter ticks.
    LONGLONG ClockOrigin = 0;
    int ClockOriginTaken = 0;
};

extern ViewerState State;

// Sets every default. The main routine calls it once, after taking the instance and raising
// the timer resolution and before reading the command line; the tools, the fuzz target, the
// Python module, the thumbnail handler and the tests call it again before each file they
// read.
void InitDefaults();

// Empties an Image before its first use: IW, IH, Pixels (and its size) and LUTSize.
void InitImage(Image& image);

// Frees the image array (taken by AllocImageArray) and leaves the record without one.
void FreeImageArray(Image& image);

// Frees the image's arrays and empties it as InitImage does.
void FreeImage(Image& image);

// Whether the image has pixels and its array holds all IH rows of IW pixels, ScanLineWidth
// apart: what a reader of the array outside the display (tools, thumbnails) must check first.
bool ArrayHoldsFrame(const Image& image);

// An Image outside State that owns its arrays and frees them when it goes, for tools and
// tests that read pictures into images of their own.
struct ScopedImage : Image {
    ScopedImage() = default;
    explicit ScopedImage(const Image& image) : Image(image) {}
    ScopedImage(const ScopedImage&) = delete;
    ScopedImage& operator=(const ScopedImage&) = delete;
    ~ScopedImage() { FreeImage(*this); }
};

// Frees every array State points to (the display image's and the image list entries', each
// once however they are shared, the image list, the selection and the table of positions)
// and clears those pointers. State owns all of them. The viewer never calls this: its arrays
// go with the process. Tests, tools and the fuzz target, which start the viewer afresh many
// times in one process, call it before each start.
void FreeStateArrays();
