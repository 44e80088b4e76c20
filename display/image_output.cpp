// Drawing an image: the window on the first put, the pause between frames, the passes of
// -loop and -cycle, the colour table into the palette, and the bitmap transfer.
#include "display/image_output.h"

#include <algorithm>
#include <cstdio>

#include "display/window.h"
#include "placement/placement.h"
#include "shell/diagnostics.h"

namespace {

// An 8-bit bitmap never has more than 256 colours, so the header lives on the stack with
// room for all of them: no allocation per frame, nothing to fail.
struct BitmapHeader {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[256];
};

// True when this put starts a new pass of a -loop or -cycle run. A selection of one image
// (its end found at image 0) has no image 1: each turn at image 0 is a sweep.
bool StartsPass(const Image& image) {
    if (State.Mode == Cycle)
        return State.TotalImages == 0 ? image.Index == 0 : image.Index == 1 && State.Direction == 1;
    if (State.Mode == Loop) return image.Index == 0;
    return false;
}

void FillHeader(BitmapHeader& header, const Image& image, uint32_t colours) {
    BITMAPINFOHEADER& h = header.bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = image.IW;
    h.biHeight = image.IH;
    h.biPlanes = 1;
    h.biBitCount = 8;
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<DWORD>((((static_cast<uint32_t>(image.IW) * 8 + 31) >> 3) & ~3u) *
                                       static_cast<uint32_t>(image.IH));
    h.biXPelsPerMeter = 0;
    h.biYPelsPerMeter = 0;
    h.biClrUsed = colours;
    h.biClrImportant = 0;
    for (uint32_t i = 0; i < colours; ++i) {
        const LUTEntry& e = image.LUT[i];
        header.bmiColors[i] = RGBQUAD{e.Blue, e.Green, e.Red, 0};
    }
}

// The array must hold every row the bitmap transfer reads.
bool ArrayCoversBitmap(const Image& image) {
    if (image.Pixels == nullptr || image.IW <= 0 || image.IH <= 0) return false;
    const uint64_t stride = ((static_cast<uint64_t>(image.IW) * 8 + 31) / 32) * 4;
    return stride * static_cast<uint64_t>(image.IH) <= image.PixelsSize;
}

// A buffered frame's array comes cold from memory, and the bitmap transfer reads it from the
// top row on screen down, that is from the end of the array backwards, row by row, which the
// hardware prefetcher follows poorly: a cold 1920 x 1080 frame then converts in about twice
// the time of a cached one. A forward pass with one load per cache line first brings the
// array in for much less than those misses cost. An unbuffered frame was just decoded.
volatile uint8_t WarmedByte;  // keeps the loads
void WarmArray(const Image& image) {
    const uint8_t* pixels = image.Pixels;
    uint8_t any = 0;
    for (size_t i = 0; i < image.PixelsSize; i += 64) any |= pixels[i];
    WarmedByte = any;
}

}  // namespace

int32_t ElapsedMs() {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    if (!State.ClockOriginTaken) {
        State.ClockOrigin = now.QuadPart;
        State.ClockOriginTaken = 1;
    }
    QueryPerformanceFrequency(&frequency);
    if (frequency.QuadPart <= 0) return 0;
    const LONGLONG ms = (now.QuadPart - State.ClockOrigin) * 1000 / frequency.QuadPart;
    return static_cast<int32_t>(static_cast<uint32_t>(ms));  // wraps after 24.8 days
}

void PutLUT(const Image& image) {
    if (image.LUTSize == 0 || image.LUT == nullptr) return;
    if (State.Palette != nullptr) {
        HDC dc = GetDC(State.MainWindow);
        if (dc != nullptr) SelectPalette(dc, State.Palette, FALSE);
        const UINT entries = std::min<UINT>(image.LUTSize, 256);
        // A refused animation is no fatal error: the frame is drawn in the colours the palette
        // has. It is told on standard output, whatever the log level (HACKING.md, "Errors").
        if (!AnimatePalette(State.Palette, 0, entries,
                            reinterpret_cast<const PALETTEENTRY*>(image.LUT))) {
            printf("AnimatePalette Error=%d\n", static_cast<int>(GetLastError()));
        }
        if (dc != nullptr) ReleaseDC(State.MainWindow, dc);
    }
    LogAt(2, "Color Map Put\n");
}

int PutImage(Image& image, int paced) {
    if (!State.WindowOpen) {
        if (!OpenWindow(image.IW, image.IH))
            FatalError("PutImage", "Cannot create the viewer window (%ld)",
                       static_cast<long long>(GetLastError()));
        PlaceImage(image);
        State.WindowOpen = 1;
    }

    if (State.Wait != 0) {
        if (State.LastTime != 0) {
            const int32_t cur = ElapsedMs();
            const int32_t diff = static_cast<int32_t>(static_cast<uint32_t>(cur) -
                                                      static_cast<uint32_t>(State.LastTime));
            LogAt(9, "Last:%ld, Cur:%ld, Diff:%ld, Wait:%ld\n", static_cast<long>(State.LastTime),
                  static_cast<long>(cur), static_cast<long>(diff), static_cast<long>(State.Wait));
            if (diff < State.Wait && paced) return 0;
            State.LastTime = cur;
        } else {
            State.LastTime = ElapsedMs();
            LogAt(3, "Last Time Initialized to %ld\n", static_cast<long>(State.LastTime));
        }
    }

    if (State.RepeatLimit != 0 && StartsPass(image)) {
        if (State.RepeatCount == State.RepeatLimit) {
            State.Mode = Quit;
            CleanUp(true);
            EndProcess(0);
        }
        ++State.RepeatCount;
        LogAt(2, "First Frame %ld/%ld\n", static_cast<long>(State.RepeatCount),
              static_cast<long>(State.RepeatLimit));
    }

    if (!State.LUTPut) {
        PutLUT(image);
        State.LUTPut = State.MultipleColormaps ? 0 : 1;
    }

    HDC dc = State.PaintDC != nullptr ? State.PaintDC : GetDC(State.MainWindow);
    if (dc == nullptr) return 1;
    if (State.Palette != nullptr) SelectPalette(dc, State.Palette, FALSE);
    if (ArrayCoversBitmap(image)) {
        if (State.BufferCount != 0) WarmArray(image);
        BitmapHeader header{};
        const uint32_t colours = image.LUT != nullptr ? std::min<uint32_t>(image.LUTSize, 256) : 0;
        FillHeader(header, image, colours);
        SetDIBitsToDevice(dc, image.IL, image.IT, static_cast<DWORD>(image.IW),
                          static_cast<DWORD>(image.IH), 0, 0, 0, static_cast<UINT>(image.IH),
                          image.Pixels, reinterpret_cast<const BITMAPINFO*>(&header),
                          DIB_RGB_COLORS);
    }
    if (dc != State.PaintDC) ReleaseDC(State.MainWindow, dc);
    return 1;
}
