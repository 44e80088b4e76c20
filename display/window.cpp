// The viewer's window class, its one window with the logical palette, and the black borders
// around the image.
#include "display/window.h"

#include "display/window_proc.h"
#include "resources/resource_ids.h"
#include "shell/diagnostics.h"

namespace {

// A LOGPALETTE with room for all 256 entries (and the one spare record of the classic
// layout). It lives on the stack: 1032 bytes need no allocation that could fail.
struct FullPalette {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[257];
};
static_assert(sizeof(FullPalette) == 1032, "the palette block is 4 + 257 x 4 bytes");

// Every entry is reserved for animation and starts black; PutLUT sets the colours.
HPALETTE CreateViewerPalette() {
    FullPalette block{};
    block.palVersion = 0x300;
    block.palNumEntries = 256;
    for (PALETTEENTRY& e : block.palPalEntry) e = PALETTEENTRY{0, 0, 0, PC_RESERVED};
    return CreatePalette(reinterpret_cast<const LOGPALETTE*>(&block));
}

}  // namespace

int StartUpGraphics() {
    if (State.PrevInstance != nullptr) return 1;
    WNDCLASSA windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = State.Instance;
    windowClass.hIcon = LoadIconA(State.Instance, MAKEINTRESOURCEA(IDI_KINARO));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;  // the image and the borders cover the client area
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = State.WindowClassName;
    return RegisterClassA(&windowClass) != 0 ? 1 : 0;
}

int OpenWindow(int32_t width, int32_t height) {
    LogAt(2, "Entering OpenWindow(%d, %d)\n", width, height);
    if (State.Palette == nullptr) State.Palette = CreateViewerPalette();

    const int outerWidth = width + 2 * GetSystemMetrics(SM_CXFRAME);
    const int outerHeight = height + 2 * GetSystemMetrics(SM_CYFRAME) +
                            GetSystemMetrics(SM_CYMENU) + GetSystemMetrics(SM_CYCAPTION);
    const DWORD style = State.FullScreen ? WS_POPUP : WS_OVERLAPPEDWINDOW;
    State.MainWindow =
        CreateWindowExA(0, State.WindowClassName, "Kinaro", style, CW_USEDEFAULT, CW_USEDEFAULT,
                        outerWidth, outerHeight, nullptr, nullptr, State.Instance, nullptr);
    if (State.MainWindow == nullptr) return 0;

    if (State.FullScreen) {
        ShowWindow(State.MainWindow, SW_MAXIMIZE);
    } else {
        State.Menu = LoadMenuA(State.Instance, MAKEINTRESOURCEA(IDM_KINARO));
        if (State.Menu != nullptr) SetMenu(State.MainWindow, State.Menu);
        ShowWindow(State.MainWindow, State.CmdShow);
    }
    // Showing and updating re-enter the window procedure; WindowOpen is still 0, so none
    // of those messages draws an image.
    UpdateWindow(State.MainWindow);

    RECT client{0, 0, 0, 0};
    GetClientRect(State.MainWindow, &client);
    State.WL = client.left;
    State.WT = client.top;
    State.WR = client.right - 1;
    State.WB = client.bottom - 1;
    State.WW = client.right - client.left;
    State.WH = client.bottom - client.top;
    return 1;
}

void FillBorders(const Image& image) {
    HDC dc = State.PaintDC != nullptr ? State.PaintDC : GetDC(State.MainWindow);
    if (dc == nullptr) return;
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RECT band;
    if (image.IR < State.WR) {
        SetRect(&band, image.IR + 1, State.WT, State.WR + 1, State.WB + 1);
        FillRect(dc, &band, black);
    }
    if (image.IB < State.WB) {
        SetRect(&band, State.WL, image.IB + 1, State.WR + 1, State.WB + 1);
        FillRect(dc, &band, black);
    }
    if (image.IL > State.WL) {
        SetRect(&band, State.WL, State.WT, image.IL, State.WB + 1);
        FillRect(dc, &band, black);
    }
    if (image.IT > State.WT) {
        SetRect(&band, State.WL, State.WT, State.WR + 1, image.IT);
        FillRect(dc, &band, black);
    }
    if (dc != State.PaintDC) ReleaseDC(State.MainWindow, dc);
}
