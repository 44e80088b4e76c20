// Smoke test of kinaro.exe on the real Win32 API, run under Wine by wine_smoke.sh (or on
// Windows itself). It makes its metafiles with our writer, decodes them with our reader, then
// drives the viewer as a user would: keys, the menu, message boxes, the open-file dialog, and
// reads back what reached the screen.
//
//   kinaro_smoke run KINARO.EXE WORKDIR     all checks; exit status 0 when every one passed
//   kinaro_smoke show KINARO.EXE WORKDIR    shows the smoke file of a run until the shell has
//                                           taken its X screenshot (see ShowForCapture)
//   kinaro_smoke close-box TITLE            waits for a message box titled TITLE and presses
//                                           OK (for a viewer the shell started itself)
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "resources/icon_drawing.h"
#include "resources/resource_ids.h"
#include "resources/resource_tables.h"
#include "rm/frame_locator.h"
#include "shell/command_line.h"
#include "shell/info_boxes.h"
#include "shell/viewer_state.h"
#include "tools/rmwriter/rmwriter.h"

// After platform/win32.h, which brings the <windows.h> types it uses.
#include <winver.h>

namespace {

constexpr DWORD StepTimeoutMs = 20000;  // a step that takes longer has failed
int Failures = 0;

void Note(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Check(bool ok, const std::string& what) {
    Note("%s: %s", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++Failures;
}

// A check the following steps depend on.
void Require(bool ok, const std::string& what) {
    Check(ok, what);
    if (!ok) throw std::runtime_error(what);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = StepTimeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(20);
    }
}

std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string out = "Z:" + path;  // Wine maps the Unix root to drive Z:
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

// The driver keeps its text in UTF-8 and talks to Windows in UTF-16, so that names in any
// script reach the viewer whatever the driver's own ANSI code page is.
std::wstring Wide(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                static_cast<int>(out.size()));
    out.resize(n > 0 ? n : 0);
    return out;
}

std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? n : 0);
    return out;
}

// ---- Test files -------------------------------------------------------------------------

// The space checks that a quoted name reaches the viewer as one argument.
constexpr const char* SmokeFileName = "smoke frames.rm";
constexpr int FrameCount = 4;
constexpr int FrameWidth = 240;
constexpr int FrameHeight = 160;

// Every frame differs from the others almost everywhere, and top from bottom, so that any
// frame mix-up or flipped drawing shows.
rmwriter::Frame SmokeFrame(int k) {
    rmwriter::Frame frame;
    frame.header.Width = FrameWidth;
    frame.header.Height = FrameHeight;
    frame.header.ColorFlag = 1;
    for (int i = 0; i < 256; ++i) {
        frame.colors.Red.push_back(static_cast<uint8_t>(i));
        frame.colors.Green.push_back(static_cast<uint8_t>(255 - i));
        frame.colors.Blue.push_back(static_cast<uint8_t>(i * 7));
    }
    for (int y = 0; y < FrameHeight; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < FrameWidth; ++x)
            row.push_back(static_cast<uint8_t>(1 + (x / 12 + (y / 10) * 20 + k * 61) % 255));
        frame.rows.push_back(row);
    }
    return frame;
}

struct Picture {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;  // 0xRRGGBB, top row first
    uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};

// The frames as our reader decodes them: the image array is bottom-up, colours through the
// LUT.
std::vector<Picture> DecodeFrames(const std::string& path) {
    char program[] = "kinaro";
    std::string name = path;
    char* argv[] = {program, name.data(), nullptr};
    InitDefaults();
    ParseCommandLine(2, argv);
    State.MetafileStream = std::fopen(path.c_str(), "rb");
    Require(State.MetafileStream != nullptr, "reader opens " + path);
    std::vector<Picture> frames;
    for (uint32_t index = 0;; ++index) {
        Image image;
        InitImage(image);
        if (GetFileImage(image, index) < 0) break;
        Picture p;
        p.Width = image.IW;
        p.Height = image.IH;
        for (int y = 0; y < image.IH; ++y) {
            const uint8_t* row =
                image.Pixels + static_cast<size_t>(image.IH - 1 - y) * image.ScanLineWidth;
            for (int x = 0; x < image.IW; ++x) {
                const LUTEntry& c = image.LUT[row[x]];
                p.Pixels.push_back(static_cast<uint32_t>(c.Red << 16 | c.Green << 8 | c.Blue));
            }
        }
        frames.push_back(std::move(p));
    }
    std::fclose(State.MetafileStream);
    State.MetafileStream = nullptr;
    return frames;
}

std::vector<Picture> MakeSmokeFile(const std::string& path) {
    rmwriter::Metafile file;
    std::vector<Picture> written;
    for (int k = 0; k < FrameCount; ++k) {
        rmwriter::Frame frame = SmokeFrame(k);
        file.AddFrame(frame);
        Picture p;
        p.Width = FrameWidth;
        p.Height = FrameHeight;
        for (const auto& row : frame.rows)
            for (uint8_t i : row)
                p.Pixels.push_back(static_cast<uint32_t>(
                    frame.colors.Red[i] << 16 | frame.colors.Green[i] << 8 | frame.colors.Blue[i]));
        written.push_back(std::move(p));
    }
    Require(file.Save(path), "writes " + path);
    std::vector<Picture> decoded = DecodeFrames(path);
    Require(decoded.size() == written.size(), "reader finds every frame of the smoke file");
    for (size_t k = 0; k < decoded.size(); ++k)
        Require(decoded[k].Pixels == written[k].Pixels,
                "reader decodes frame " + std::to_string(k) + " as written");
    return decoded;
}

// A header the viewer refuses: three components.
void MakeDamagedFile(const std::string& path) {
    rmwriter::Metafile file;
    rmwriter::Frame frame = SmokeFrame(0);
    frame.header.Components = 3;
    file.AddFrame(frame);
    Require(file.Save(path), "writes " + path);
}

// ---- The viewer process -----------------------------------------------------------------

struct Viewer {
    PROCESS_INFORMATION Process = {};
    bool Running = false;
};

std::string ViewerExe;
std::string WorkDir;
std::vector<DWORD> StartedProcesses;
int ViewersStarted = 0;

Viewer StartViewer(const std::string& arguments, WORD showCommand = SW_SHOWNORMAL) {
    std::string commandLine = "\"" + ViewerExe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showCommand;
    Viewer viewer;
    std::wstring wideCommandLine = Wide(commandLine);
    BOOL ok = CreateProcessW(nullptr, wideCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             Wide(WorkDir).c_str(), &startup, &viewer.Process);
    Require(ok, "starts " + commandLine);
    viewer.Running = true;
    StartedProcesses.push_back(viewer.Process.dwProcessId);
    ++ViewersStarted;
    return viewer;
}

// Waits for the viewer to end by itself; ends it when it does not. Returns its exit code.
DWORD FinishViewer(Viewer& viewer, const std::string& what) {
    if (!viewer.Running) return 0xDEAD;
    DWORD code = 0xDEAD;
    if (WaitForSingleObject(viewer.Process.hProcess, StepTimeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(viewer.Process.hProcess, &code);
    } else {
        Check(false, what + ": viewer still running, ended by force");
        TerminateProcess(viewer.Process.hProcess, 0xDEAD);
        WaitForSingleObject(viewer.Process.hProcess, 5000);
    }
    CloseHandle(viewer.Process.hProcess);
    CloseHandle(viewer.Process.hThread);
    viewer.Running = false;
    return code;
}

std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[4096] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// What a control of another process holds now (GetWindowText would give the text it was
// created with).
std::string ContentOf(HWND control) {
    wchar_t text[4096] = L"";
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        2000, &result);
    return Utf8(text);
}

// A visible top-level window of the viewer's process (of any process when no viewer was
// started) with this class and title.
HWND FindViewerWindow(const Viewer& viewer, const char* className, const char* title) {
    struct Search {
        DWORD ProcessId;
        const char* ClassName;
        const char* Title;
        HWND Found;
    } search = {viewer.Process.dwProcessId, className, title, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD processId = 0;
            GetWindowThreadProcessId(window, &processId);
            if ((s->ProcessId == 0 || processId == s->ProcessId) && IsWindowVisible(window) &&
                ClassOf(window) == s->ClassName && TextOf(window) == s->Title) {
                s->Found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

bool Ended(const Viewer& viewer) {
    return viewer.Running && WaitForSingleObject(viewer.Process.hProcess, 0) == WAIT_OBJECT_0;
}

// Gives up at once when the viewer has ended.
HWND WaitForWindow(const Viewer& viewer, const char* className, const char* title) {
    HWND window = nullptr;
    WaitUntil([&] {
        window = FindViewerWindow(viewer, className, title);
        return window != nullptr || Ended(viewer);
    });
    return window;
}

bool WaitGone(HWND window) {
    return WaitUntil([&] { return !IsWindow(window); });
}

// ---- Input ------------------------------------------------------------------------------

// Input reaches only an enabled window: an owner stays disabled for a moment after its
// modal box has gone.
bool BringToFront(HWND window) {
    SetForegroundWindow(window);
    return WaitUntil([&] { return GetForegroundWindow() == window && IsWindowEnabled(window); },
                     5000);
}

void SendKeys(const std::vector<INPUT>& inputs) {
    std::vector<INPUT> copy = inputs;
    SendInput(static_cast<UINT>(copy.size()), copy.data(), sizeof(INPUT));
}

INPUT VirtualKey(WORD vk, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// Types one character through the keyboard as the user would, with Shift when the layout
// needs it.
void PressKey(HWND window, char c) {
    BringToFront(window);
    SHORT scan = VkKeyScanA(c);
    std::vector<INPUT> inputs;
    if (scan == -1) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = static_cast<unsigned char>(c);
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(input);
    } else {
        bool shift = (scan >> 8) & 1;
        if (shift) inputs.push_back(VirtualKey(VK_SHIFT, false));
        inputs.push_back(VirtualKey(LOBYTE(scan), false));
        inputs.push_back(VirtualKey(LOBYTE(scan), true));
        if (shift) inputs.push_back(VirtualKey(VK_SHIFT, true));
    }
    SendKeys(inputs);
}

void TypeText(const std::string& text) {
    std::vector<INPUT> inputs;
    for (wchar_t c : Wide(text)) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = static_cast<WORD>(c);
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendKeys(inputs);
}

// A popup menu on screen (of any process: only one can be open).
bool PopupMenuOpen() {
    HWND popup = FindWindowA("#32768", nullptr);
    return popup && IsWindowVisible(popup);
}

// Opens a popup of the menu bar with Alt and its mnemonic, then picks an item by its
// mnemonic.
void ChooseMenuItem(HWND window, char popupMnemonic, char itemMnemonic) {
    BringToFront(window);
    SendKeys({VirtualKey(VK_MENU, false), VirtualKey(static_cast<WORD>(popupMnemonic), false),
              VirtualKey(static_cast<WORD>(popupMnemonic), true), VirtualKey(VK_MENU, true)});
    Check(WaitUntil(PopupMenuOpen, 5000), std::string("Alt+") + popupMnemonic + " opens a menu");
    SendKeys({VirtualKey(static_cast<WORD>(itemMnemonic), false),
              VirtualKey(static_cast<WORD>(itemMnemonic), true)});
}

// A mouse button pressed or released over the middle of the window's client area, or where
// the pointer is when there is no window (any more).
void MouseButton(HWND window, DWORD flag) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    if (window) {
        BringToFront(window);
        RECT client;
        GetClientRect(window, &client);
        POINT centre = {client.right / 2, client.bottom / 2};
        ClientToScreen(window, &centre);
        input.mi.dx = MulDiv(centre.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
        input.mi.dy = MulDiv(centre.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
        input.mi.dwFlags |= MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    }
    SendInput(1, &input, sizeof input);
}

// ---- Screen -----------------------------------------------------------------------------

// A rectangle of the screen, as it reached the display.
Picture CaptureScreen(int left, int top, int width, int height) {
    Picture p;
    if (width <= 0 || height <= 0) return p;
    p.Width = width;
    p.Height = height;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
    GdiFlush();
    const auto* words = static_cast<const uint32_t*>(bits);
    p.Pixels.assign(words, words + static_cast<size_t>(width) * height);
    for (uint32_t& pixel : p.Pixels) pixel &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return p;
}

// The client area of a window as it reached the screen.
Picture CaptureClient(HWND window) {
    RECT client;
    if (!GetClientRect(window, &client)) return {};
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    return CaptureScreen(origin.x, origin.y, client.right, client.bottom);
}

// The whole window, caption and frame included.
Picture CaptureWindow(HWND window) {
    RECT r;
    if (!GetWindowRect(window, &r)) return {};
    return CaptureScreen(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// What a client area of this size must show: the frame centred on black, placed as the
// viewer places it (offsets truncated toward zero).
Picture Centred(const Picture& frame, int width, int height) {
    Picture p;
    p.Width = width;
    p.Height = height;
    int left = (width - frame.Width) / 2;
    int top = (height - frame.Height) / 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int fx = x - left, fy = y - top;
            bool inside = fx >= 0 && fy >= 0 && fx < frame.Width && fy < frame.Height;
            p.Pixels.push_back(inside ? frame.At(fx, fy) : 0);
        }
    }
    return p;
}

// Pixels of the client area that differ from `frame` centred on black.
long Mismatches(const Picture& client, const Picture& frame, std::string* first = nullptr) {
    if (client.Pixels.empty()) return -1;
    Picture want = Centred(frame, client.Width, client.Height);
    long count = 0;
    for (size_t i = 0; i < want.Pixels.size(); ++i) {
        if (client.Pixels[i] == want.Pixels[i]) continue;
        if (count == 0 && first) {
            char text[128];
            std::snprintf(text, sizeof text, "first at (%d,%d): %06X, expected %06X",
                          static_cast<int>(i % client.Width), static_cast<int>(i / client.Width),
                          static_cast<unsigned>(client.Pixels[i]),
                          static_cast<unsigned>(want.Pixels[i]));
            *first = text;
        }
        ++count;
    }
    return count;
}

bool SavePPM(const Picture& p, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::fprintf(file, "P6\n%d %d\n255\n", p.Width, p.Height);
    for (uint32_t pixel : p.Pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                      static_cast<unsigned char>(pixel >> 8),
                                      static_cast<unsigned char>(pixel)};
        std::fwrite(rgb, 1, 3, file);
    }
    return std::fclose(file) == 0;
}

// The frame the window shows, or -1.
int ShownFrame(HWND window, const std::vector<Picture>& frames) {
    Picture client = CaptureClient(window);
    for (size_t k = 0; k < frames.size(); ++k)
        if (Mismatches(client, frames[k]) == 0) return static_cast<int>(k);
    return -1;
}

void ExpectFrame(HWND window, const std::vector<Picture>& frames, int k, const std::string& why) {
    bool shown = WaitUntil([&] { return ShownFrame(window, frames) == k; }, 10000);
    std::string detail;
    if (!shown) {
        Picture client = CaptureClient(window);
        long bad = Mismatches(client, frames[k], &detail);
        detail = " (client " + std::to_string(client.Width) + "x" + std::to_string(client.Height) +
                 ", " + std::to_string(bad) + " pixels differ; " + detail + ")";
    }
    Check(shown, why + ": client area shows frame " + std::to_string(k) + detail);
}

// ---- Message boxes ----------------------------------------------------------------------

std::string BoxText(HWND box) {
    char text[4096] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message's static control
    return text;
}

// Presses OK on the box with the keyboard and waits for it to go.
bool CloseBox(HWND box) {
    BringToFront(box);
    SendKeys({VirtualKey(VK_RETURN, false), VirtualKey(VK_RETURN, true)});
    if (WaitGone(box)) return true;
    PostMessageA(box, WM_COMMAND, IDOK, 0);  // the keyboard did not reach it: close it anyway
    WaitGone(box);
    return false;
}

// Normalises line ends: a message box may show "\r\n" where the text had "\n".
std::string Lines(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// ---- The checks -------------------------------------------------------------------------

// The menu as the executable's resources hold it, against the definition.
void CheckMenuResource(HMODULE module) {
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDM_KINARO));
    Require(menu != nullptr, "kinaro.exe holds menu 103");
    Check(GetMenuItemCount(menu) == KinaroMenuPopupCount, "menu bar has every popup");
    for (int p = 0; p < KinaroMenuPopupCount && p < GetMenuItemCount(menu); ++p) {
        char text[256] = "";
        GetMenuStringA(menu, p, text, sizeof text, MF_BYPOSITION);
        HMENU popup = GetSubMenu(menu, p);
        bool same = std::string(text) == KinaroMenu[p].Text && popup != nullptr &&
                    GetMenuItemCount(popup) == KinaroMenu[p].ItemCount;
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE;
        GetMenuItemInfoA(menu, p, TRUE, &item);
        bool help = item.fType & MFT_RIGHTJUSTIFY;  // MF_HELP
        same = same && help == KinaroMenu[p].IsHelpPopup;
        for (int i = 0; same && i < KinaroMenu[p].ItemCount; ++i) {
            const MenuItemDefinition& item = KinaroMenu[p].Items[i];
            if (item.Id == 0) {
                same = GetMenuState(popup, i, MF_BYPOSITION) & MF_SEPARATOR;
            } else {
                GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
                same = GetMenuItemID(popup, i) == static_cast<UINT>(item.Id) &&
                       std::string(text) == item.Text;
            }
        }
        Check(same, std::string("menu popup ") + KinaroMenu[p].Text + " as defined");
    }
    DestroyMenu(menu);
}

// Icon 101 as Windows loads it from the executable, pixel by pixel against the drawing.
void CheckIconResource(HMODULE module) {
    auto icon =
        static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(IDI_KINARO), IMAGE_ICON, 32, 32, 0));
    Require(icon != nullptr, "kinaro.exe holds icon 101");
    ICONINFO info = {};
    BITMAP bitmap = {};
    bool ok = GetIconInfo(icon, &info) && info.hbmColor &&
              GetObjectA(info.hbmColor, sizeof bitmap, &bitmap) && bitmap.bmWidth == 32 &&
              bitmap.bmHeight == 32;
    Check(ok, "icon 101 is 32x32");
    if (ok) {
        BITMAPINFO format = {};
        format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        format.bmiHeader.biWidth = 32;
        format.bmiHeader.biHeight = -32;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        std::vector<uint32_t> pixels(32 * 32);
        HDC screen = GetDC(nullptr);
        int rows = GetDIBits(screen, info.hbmColor, 0, 32, pixels.data(), &format, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        int differing = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (!IconTransparent(x, y) &&
                    (pixels[y * 32 + x] & 0xFFFFFF) != IconPalette[IconPixel(x, y)])
                    ++differing;
        Check(rows == 32 && differing == 0,
              "icon 101 shows our drawing (" + std::to_string(differing) + " pixels differ)");
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}

// The version block as Explorer reads it.
void CheckVersionResource() {
    std::wstring exe = Wide(ViewerExe);
    DWORD size = GetFileVersionInfoSizeW(exe.c_str(), nullptr);
    std::vector<BYTE> data(size);
    Require(size > 0 && GetFileVersionInfoW(exe.c_str(), 0, size, data.data()),
            "kinaro.exe has version information");
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    Check(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
              fixed->dwFileVersionMS == MAKELONG(62, 1) && fixed->dwFileVersionLS == 0 &&
              fixed->dwProductVersionMS == MAKELONG(62, 1),
          "file and product version 1.62.0.0");
    const std::pair<const wchar_t*, const char*> expected[] = {
        {L"ProductName", "Kinaro"},
        {L"ProductVersion", "1.62"},
        {L"FileVersion", "1.62"},
        {L"FileDescription", "Kinaro Raster Metafile viewer"},
    };
    for (const auto& [key, want] : expected) {
        wchar_t* value = nullptr;
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        bool found =
            VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) &&
            length > 0;
        std::string got = found ? Utf8(value) : "(none)";
        Check(got == want, Utf8(key) + " is \"" + got + "\"");
    }
}

bool HasBytes(const std::vector<BYTE>& data, const void* bytes, size_t size) {
    auto* first = static_cast<const BYTE*>(bytes);
    return std::search(data.begin(), data.end(), first, first + size) != data.end();
}

// The manifest as the system's own loader reads it into an activation context: what it
// parses there is what it honours when the process starts.
void CheckManifest() {
    std::wstring exe = Wide(ViewerExe);
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = exe.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE context = CreateActCtxW(&request);
    Require(context != INVALID_HANDLE_VALUE, "the system reads the manifest of kinaro.exe (error " +
                                                 std::to_string(GetLastError()) + ")");
    auto setting = [&](const wchar_t* space, const wchar_t* name) {
        wchar_t value[64] = L"";
        SIZE_T written = 0;
        return QueryActCtxSettingsW(0, context, space, name, value, 64, &written)
                   ? Utf8(value)
                   : std::string("(none)");
    };
    struct Setting {
        const wchar_t *Space, *Name;
        const char* Want;
    } settings[] = {
        {L"http://schemas.microsoft.com/SMI/2019/WindowsSettings", L"activeCodePage", "UTF-8"},
        {L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", "true/pm"},
        {L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness", "PerMonitorV2"},
    };
    for (const Setting& want : settings) {
        std::string got = setting(want.Space, want.Name);
        Check(got == want.Want, "manifest setting " + Utf8(want.Name) + " is " + got);
    }

    SIZE_T needed = 0;
    QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, nullptr, 0,
                 &needed);
    std::vector<BYTE> compatibility(needed);
    bool read = needed >= sizeof(DWORD) &&
                QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                             compatibility.data(), needed, &needed);
    DWORD systems = read ? *reinterpret_cast<DWORD*>(compatibility.data()) : 0;
    const GUID vista = {
        0xe2011457, 0x1546, 0x43c5, {0xa5, 0xfe, 0x00, 0x8d, 0xee, 0xe3, 0xd3, 0xf0}};
    const GUID windows10 = {
        0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}};
    Check(systems == 5 && HasBytes(compatibility, &vista, sizeof vista) &&
              HasBytes(compatibility, &windows10, sizeof windows10),
          "supported systems: " + std::to_string(systems) + ", Vista to 10 and 11");

    // The assemblies the context resolved: the program's own, then its dependencies.
    bool commonControls6 = false;
    for (DWORD index = 1; index <= 4 && !commonControls6; ++index) {
        needed = 0;
        QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext, nullptr, 0,
                     &needed);
        std::vector<BYTE> buffer(needed);
        if (needed == 0 ||
            !QueryActCtxW(0, context, &index, AssemblyDetailedInformationInActivationContext,
                          buffer.data(), needed, &needed))
            continue;
        auto* info =
            reinterpret_cast<ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer.data());
        std::string identity = info->lpAssemblyEncodedAssemblyIdentity
                                   ? Utf8(info->lpAssemblyEncodedAssemblyIdentity)
                                   : "";
        Note("   assembly %lu: %s", static_cast<unsigned long>(index), identity.c_str());
        commonControls6 = identity.find("Microsoft.Windows.Common-Controls") != std::string::npos &&
                          identity.find("version=\"6.") != std::string::npos;
    }
    Check(commonControls6, "the manifest brings in common controls 6");
    ReleaseActCtx(context);
}

void CheckResources() {
    Note("-- the resources linked into kinaro.exe");
    HMODULE module = LoadLibraryExA(ViewerExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    Require(module != nullptr, "kinaro.exe loads as a resource module");
    CheckMenuResource(module);
    CheckIconResource(module);
    FreeLibrary(module);
    CheckVersionResource();
    CheckManifest();
}

void CheckHelpBox(const Viewer& viewer, HWND window, char mnemonic, const char* title,
                  const std::string& text, const std::function<void()>& whileOpen = {}) {
    ChooseMenuItem(window, 'H', mnemonic);
    HWND box = WaitForWindow(viewer, "#32770", title);
    Check(box != nullptr, std::string("Help menu opens the box \"") + title + "\"");
    if (!box) return;
    Check(Lines(BoxText(box)) == text, std::string("box \"") + title + "\" shows its text");
    if (whileOpen) whileOpen();
    Check(CloseBox(box), std::string("box \"") + title + "\" closes with OK");
    Check(IsWindow(window) && IsWindowVisible(window), "viewer window still open");
}

// The class icon is only visible to its own process; what the user sees of it is the small
// copy in the caption, left of the title. Our drawing's sky and hills are pure blue, lime and
// green, colours that neither the caption nor the default icon have.
void CheckCaptionIcon(HWND window) {
    int blue = 0, lime = 0, green = 0;
    bool shown = WaitUntil(
        [&] {
            Picture whole = CaptureWindow(window);
            POINT origin = {0, 0};
            ClientToScreen(window, &origin);
            RECT outer;
            GetWindowRect(window, &outer);
            blue = lime = green = 0;
            for (int y = 0; y < origin.y - outer.top && y < whole.Height; ++y) {
                for (int x = 0; x < 32 && x < whole.Width; ++x) {
                    blue += whole.At(x, y) == 0x0000FF;
                    lime += whole.At(x, y) == 0x00FF00;
                    green += whole.At(x, y) == 0x008000;
                }
            }
            return blue >= 8 && lime >= 4 && green >= 2;
        },
        5000);
    Check(shown, "caption shows icon 101 (" + std::to_string(blue) + " sky, " +
                     std::to_string(lime) + " hill, " + std::to_string(green) + " grass pixels)");
}

void ViewFile(const std::string& smokeFile, const std::vector<Picture>& frames) {
    Require(frames.size() == FrameCount, "the smoke file's frames are known");
    Note("-- viewing a file named on the command line");
    Viewer viewer = StartViewer("\"" + smokeFile + "\"");
    HWND window = WaitForWindow(viewer, "KinaroWndClass", "Kinaro");
    Require(window != nullptr, "viewer window \"Kinaro\" of class KinaroWndClass opens");
    Check(GetMenu(window) != nullptr, "window has a menu bar");
    CheckCaptionIcon(window);
    RECT client;
    GetClientRect(window, &client);
    Check(client.right >= FrameWidth && client.bottom >= FrameHeight,
          "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
              " holds the " + std::to_string(FrameWidth) + "x" + std::to_string(FrameHeight) +
              " image");
    ExpectFrame(window, frames, 0, "start");

    PressKey(window, '+');
    ExpectFrame(window, frames, 1, "'+' steps forward");
    PressKey(window, '+');
    ExpectFrame(window, frames, 2, "'+' steps forward again");
    PressKey(window, '-');
    ExpectFrame(window, frames, 1, "'-' steps back");
    PressKey(window, 'F');
    ExpectFrame(window, frames, FrameCount - 1, "'F' plays forward to the last frame");

    // Slow the animation down (10 x '<' = 500 ms a frame) and loop: the picture must keep
    // changing, also behind a modal box (the controls box has no owner, so it opens in the
    // middle of the screen, clear of the window), until 'S' stops it.
    for (int i = 0; i < 10; ++i) PressKey(window, '<');
    PressKey(window, 'L');
    auto changes = [&] {
        int first = ShownFrame(window, frames);
        return WaitUntil(
            [&] {
                int now = ShownFrame(window, frames);
                return now >= 0 && now != first;
            },
            5000);
    };
    Check(changes(), "'L' loops through the frames");
    CheckHelpBox(viewer, window, 'K', "Kinaro Controls", Lines(ControlsText()),
                 [&] { Check(changes(), "the animation goes on behind the box"); });
    PressKey(window, 'S');
    Sleep(100);
    int stopped = ShownFrame(window, frames);
    Sleep(1200);
    Check(stopped >= 0 && ShownFrame(window, frames) == stopped,
          "'S' stops on frame " + std::to_string(stopped));

    CheckHelpBox(viewer, window, 'A', "Kinaro Info", Lines(AboutText()));
    CheckHelpBox(viewer, window, 'C', "Kinaro Usage", Lines(UsageText()));

    PressKey(window, 'Q');
    Check(FinishViewer(viewer, "Q") == 0, "'Q' ends the viewer with status 0");
}

void ViewDamagedFile(const std::string& damagedFile) {
    Note("-- viewing a damaged file");
    Viewer viewer = StartViewer("\"" + damagedFile + "\"");
    HWND box = WaitForWindow(viewer, "#32770", "Kinaro Error");
    Check(box != nullptr, "damaged file shows the box \"Kinaro Error\"");
    if (box) {
        std::string text = BoxText(box);
        Check(text.find("RGB images not supported (3)") != std::string::npos,
              "error box names the fault: \"" + text + "\"");
        Check(CloseBox(box), "error box closes with OK");
    }
    DWORD code = FinishViewer(viewer, "damaged file");
    Check(code == 0xFFFFFFFFu, "damaged file ends the viewer with status -1 (got " +
                                   std::to_string(static_cast<long>(static_cast<int>(code))) + ")");
}

struct Box {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    std::string Text() const {
        return std::to_string(Left) + "," + std::to_string(Top) + " " + std::to_string(Width) +
               "x" + std::to_string(Height);
    }
};

Box InDialog(HWND dialog, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// Dialog units to pixels as the dialog manager converts them, for the base units of the
// dialog's font (horizontal units are a quarter of the average character width, vertical
// ones an eighth of the character height).
Box InPixels(int x, int y, int width, int height, int baseX, int baseY) {
    return {MulDiv(x, baseX, 4), MulDiv(y, baseY, 8), MulDiv(width, baseX, 4),
            MulDiv(height, baseY, 8)};
}

// A drop-down combo box is as high as its selection field, not as its template, which
// includes the list.
// A list box without LBS_NOINTEGRALHEIGHT is shortened to a whole number of items.
bool SamePlace(const Box& got, const Box& want, const char* className) {
    bool heightOk = got.Height == want.Height;
    if (std::string(className) == "combobox") heightOk = true;
    if (std::string(className) == "listbox")
        heightOk = got.Height <= want.Height && got.Height > want.Height - 30;
    return got.Left == want.Left && got.Top == want.Top && got.Width == want.Width && heightOk;
}

// The dialog is the older one built from template 103: every control of the template in
// its order, with its id, class, text and visibility, and nothing else; and all of them, and
// the dialog itself, placed as the template says for one pair of base units (those of the
// font the platform found for "Helv").
void CheckDialogControls(HWND dialog) {
    const DialogDefinition& t = OpenFileTemplate;
    std::vector<HWND> controls;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        controls.push_back(c);
    Check(static_cast<int>(controls.size()) == t.ControlCount,
          "dialog has the template's " + std::to_string(t.ControlCount) + " controls (" +
              std::to_string(controls.size()) + ")");
    int count = std::min<int>(t.ControlCount, static_cast<int>(controls.size()));
    for (int i = 0; i < count; ++i) {
        const DialogControlDefinition& c = t.Controls[i];
        HWND control = controls[i];
        bool same = GetDlgCtrlID(control) == c.Id &&
                    lstrcmpiA(ClassOf(control).c_str(), c.ClassName) == 0 &&
                    (c.Text[0] == '\0' || TextOf(control) == c.Text);
        bool shouldShow = c.Id != 1040;  // read-only box, hidden by OFN_HIDEREADONLY
        Check(same && IsWindowVisible(control) == shouldShow,
              "dialog control " + std::to_string(i) + ": " + std::to_string(c.Id) + " " +
                  c.ClassName + " \"" + c.Text + "\"" + (shouldShow ? "" : ", hidden"));
    }

    RECT client;
    GetClientRect(dialog, &client);
    int baseX = 0, baseY = 0;
    for (int bx = 1; bx <= 40 && !baseX; ++bx) {
        for (int by = 1; by <= 60 && !baseX; ++by) {
            Box whole = InPixels(0, 0, t.Width, t.Height, bx, by);
            bool all = whole.Width == client.right && whole.Height == client.bottom;
            for (int i = 0; all && i < count; ++i) {
                const DialogControlDefinition& c = t.Controls[i];
                all = SamePlace(InDialog(dialog, controls[i]),
                                InPixels(c.X, c.Y, c.Width, c.Height, bx, by), c.ClassName);
            }
            if (all) baseX = bx, baseY = by;
        }
    }
    std::string places;
    for (int i = 0; i < count && !baseX; ++i)
        places += "\n      " + std::to_string(t.Controls[i].Id) + " at " +
                  InDialog(dialog, controls[i]).Text();
    Check(baseX != 0,
          "dialog and every control placed as the template says" +
              (baseX ? " (base units " + std::to_string(baseX) + "x" + std::to_string(baseY) + ")"
                     : ": no base units fit, client " + std::to_string(client.right) + "x" +
                           std::to_string(client.bottom) + places));
}

// Something was drawn: the check box labels are not plain dialog background.
bool DialogRendered(HWND dialog) {
    Picture p = CaptureClient(dialog);
    HWND box = GetDlgItem(dialog, IDC_MULTIPLE_COLORMAPS);
    if (p.Pixels.empty() || !box) return false;
    RECT r;
    GetWindowRect(box, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    uint32_t background = p.At(1, 1);
    int drawn = 0;
    for (int y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, p.Height); ++y)
        for (int x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, p.Width); ++x)
            drawn += p.At(x, y) != background;
    return drawn > 50;
}

// Types the path into the dialog's file name box, presses OK, and expects the viewer to show
// the file's first frame and end with 0 on 'Q'.
void ChooseInDialog(Viewer& viewer, HWND dialog, const std::string& file,
                    const std::vector<Picture>& frames, const std::string& what) {
    HWND edit = GetDlgItem(dialog, 1152);
    BringToFront(dialog);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    std::string path = WindowsPath(file);
    TypeText(path);
    bool typed = WaitUntil([&] { return ContentOf(edit) == path; }, 5000);
    Check(typed, "typed path reaches the file name box: \"" + ContentOf(edit) + "\"");
    SendKeys({VirtualKey(VK_RETURN, false), VirtualKey(VK_RETURN, true)});  // OK

    HWND window = WaitForWindow(viewer, "KinaroWndClass", "Kinaro");
    Check(window != nullptr, "OK opens the typed file in the viewer (" + what + ")");
    if (window) {
        ExpectFrame(window, frames, 0, "opened through the dialog, " + what);
        PressKey(window, 'Q');
    }
    Check(FinishViewer(viewer, "dialog") == 0,
          "viewer opened through the dialog ends with 0 (" + what + ")");
}

void OpenThroughDialog(const std::string& smokeFile, const std::vector<Picture>& frames) {
    Require(frames.size() == FrameCount, "the smoke file's frames are known");
    Note("-- choosing the file in the open-file dialog");
    Viewer viewer = StartViewer("");
    HWND dialog = WaitForWindow(viewer, "#32770", "Kinaro Open File");
    Require(dialog != nullptr, "no file named: the dialog \"Kinaro Open File\" opens");
    CheckDialogControls(dialog);
    Check(WaitUntil([&] { return DialogRendered(dialog); }, 5000), "dialog is drawn");
    Check(IsDlgButtonChecked(dialog, IDC_MULTIPLE_COLORMAPS) == BST_CHECKED &&
              IsDlgButtonChecked(dialog, IDC_USE_BUFFERING) == BST_UNCHECKED,
          "display options open as Multiple Colormaps on, Use Buffering off");

    // Posted: the click opens a modal box, so a sent message would not return before it closes.
    PostMessageA(GetDlgItem(dialog, IDC_OPEN_HELP), BM_CLICK, 0, 0);
    HWND help = WaitForWindow(viewer, "#32770", "Kinaro Open File Help");
    Check(help != nullptr, "Help button opens \"Kinaro Open File Help\"");
    if (help) {
        Check(BoxText(help).find("Use Buffering: By setting this toggle") != std::string::npos,
              "help box explains the display options");
        Check(CloseBox(help), "help box closes with OK");
    }
    Check(IsWindowVisible(dialog), "dialog stays open after the help box");

    PostMessageA(GetDlgItem(dialog, IDC_USE_BUFFERING), BM_CLICK, 0, 0);
    Check(WaitUntil([&] { return IsDlgButtonChecked(dialog, IDC_USE_BUFFERING) == BST_CHECKED; }),
          "Use Buffering checks");

    ChooseInDialog(viewer, dialog, smokeFile, frames, "buffered");
}

// Names outside every ANSI code page but UTF-8: they reach the viewer only through the
// code page its manifest asks for.
void OpenUnicodeNames(const std::string& smokeFile, const std::vector<Picture>& frames) {
    Note("-- files named in CJK and Cyrillic letters");
    Require(frames.size() == FrameCount, "the smoke file's frames are known");
    for (const char* name : {"動画.rm", "фильм.rm"}) {
        std::string file = WorkDir + "\\" + name;
        Require(CopyFileW(Wide(smokeFile).c_str(), Wide(file).c_str(), FALSE),
                std::string("copies the smoke file to ") + name);
        Viewer viewer = StartViewer("\"" + file + "\"");
        HWND window = WaitForWindow(viewer, "KinaroWndClass", "Kinaro");
        Check(window != nullptr, std::string("command line: ") + name + " opens in the viewer");
        if (window) {
            ExpectFrame(window, frames, 0, std::string("command line: ") + name);
            PressKey(window, 'Q');
        } else if (HWND box = WaitForWindow(viewer, "#32770", "Kinaro Error")) {
            Note("   the viewer says: %s", BoxText(box).c_str());
            CloseBox(box);
        }
        Check(FinishViewer(viewer, name) == 0, std::string(name) + ": the viewer ends with 0");

        viewer = StartViewer("");
        HWND dialog = WaitForWindow(viewer, "#32770", "Kinaro Open File");
        Require(dialog != nullptr, "the dialog \"Kinaro Open File\" opens");
        Require(WaitUntil([&] { return DialogRendered(dialog); }, 5000), "dialog is drawn");
        ChooseInDialog(viewer, dialog, file, frames, name);
    }
}

void CancelDialog() {
    Note("-- cancelling the open-file dialog");
    Viewer viewer = StartViewer("");
    HWND dialog = WaitForWindow(viewer, "#32770", "Kinaro Open File");
    Check(dialog != nullptr, "dialog opens");
    if (dialog) {
        BringToFront(dialog);
        SendKeys({VirtualKey(VK_ESCAPE, false), VirtualKey(VK_ESCAPE, true)});
    }
    Check(FinishViewer(viewer, "cancel") == 0, "cancelled dialog ends the viewer with 0");
}

void StartMinimised(const std::string& smokeFile) {
    Note("-- the show command of the process start");
    Viewer viewer = StartViewer("\"" + smokeFile + "\"", SW_SHOWMINNOACTIVE);
    HWND window = nullptr;
    WaitUntil([&] {
        window = FindViewerWindow(viewer, "KinaroWndClass", "Kinaro");
        return (window && IsIconic(window)) || Ended(viewer);
    });
    Check(window && IsIconic(window), "started minimised, the window opens minimised");
    if (window) PostMessageA(window, WM_CHAR, 'q', 0);
    Check(FinishViewer(viewer, "minimised") == 0, "'q' ends the minimised viewer with 0");
}

// The left button plays backward while held; the right one quits when the mouse has three
// buttons and plays forward while held when it has two.
void UseMouse(const std::string& smokeFile, const std::vector<Picture>& frames) {
    Note("-- mouse buttons");
    Require(frames.size() == FrameCount, "the smoke file's frames are known");
    Viewer viewer = StartViewer("\"" + smokeFile + "\"");
    HWND window = WaitForWindow(viewer, "KinaroWndClass", "Kinaro");
    Require(window != nullptr, "viewer window opens");
    ExpectFrame(window, frames, 0, "start");
    PressKey(window, 'F');
    ExpectFrame(window, frames, FrameCount - 1, "'F' plays forward to the last frame");
    MouseButton(window, MOUSEEVENTF_LEFTDOWN);
    ExpectFrame(window, frames, 0, "left button held plays backward to the first frame");
    MouseButton(window, MOUSEEVENTF_LEFTUP);
    int buttons = GetSystemMetrics(SM_CMOUSEBUTTONS);
    if (buttons == 2) {
        MouseButton(window, MOUSEEVENTF_RIGHTDOWN);
        ExpectFrame(window, frames, FrameCount - 1, "two buttons: right button plays forward");
        MouseButton(window, MOUSEEVENTF_RIGHTUP);
        PressKey(window, 'Q');
        Check(FinishViewer(viewer, "mouse") == 0, "'Q' ends the viewer with status 0");
    } else {
        MouseButton(window, MOUSEEVENTF_RIGHTDOWN);
        Check(FinishViewer(viewer, "mouse") == 0,
              std::to_string(buttons) + " buttons: right button ends the viewer with status 0");
        MouseButton(nullptr, MOUSEEVENTF_RIGHTUP);
    }
}

void ViewFullScreen(const std::string& smokeFile, const std::vector<Picture>& frames) {
    Note("-- full screen (-x)");
    Require(frames.size() == FrameCount, "the smoke file's frames are known");
    Viewer viewer = StartViewer("-x \"" + smokeFile + "\"");
    HWND window = WaitForWindow(viewer, "KinaroWndClass", "Kinaro");
    Require(window != nullptr, "viewer window opens");
    LONG style = GetWindowLongA(window, GWL_STYLE);
    Check((style & WS_POPUP) && (style & WS_CAPTION) == 0 && GetMenu(window) == nullptr,
          "a popup window without caption and menu");
    Check(WaitUntil([&] { return IsZoomed(window) != FALSE; }, 5000), "maximised");
    RECT client;
    GetClientRect(window, &client);
    Check(client.right >= GetSystemMetrics(SM_CXSCREEN) &&
              client.bottom >= GetSystemMetrics(SM_CYSCREEN),
          "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
              " covers the screen");
    ExpectFrame(window, frames, 0, "full screen, image 0 centred on black");
    BringToFront(window);
    SendKeys({VirtualKey(VK_ESCAPE, false), VirtualKey(VK_ESCAPE, true)});
    Check(FinishViewer(viewer, "full screen") == 0, "Escape ends the viewer with status 0");
}

// A pass limit ends the viewer by itself; the debug log is a text file, so on Windows its
// lines end in CR LF.
void LoopOnceWithLog(const std::string& smokeFile) {
    Note("-- -loop 1 with a debug log");
    std::string log = WorkDir + "\\debug log.txt";
    Viewer viewer = StartViewer("-d9 \"" + log + "\" -loop 1 \"" + smokeFile + "\"");
    Check(FinishViewer(viewer, "-loop 1") == 0, "one loop pass ends the viewer with status 0");
    std::string text;
    if (FILE* file = std::fopen(log.c_str(), "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, n);
        std::fclose(file);
    }
    const std::string line = "Entering OpenWindow(240, 160)";
    Check(text.find(line + "\r\n") != std::string::npos,
          "log has \"" + line + "\" ending in CR LF (" + std::to_string(text.size()) + " bytes)");
}

// Ends every viewer a failed step left behind, so that the next step starts clean.
void EndStragglers() {
    for (DWORD id : StartedProcesses) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process) continue;
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            Check(false, "viewer " + std::to_string(id) + " left running, ended by force");
            TerminateProcess(process, 0xDEAD);
            WaitForSingleObject(process, 5000);
        }
        CloseHandle(process);
    }
    StartedProcesses.clear();
}

int Run(const std::string& viewerExe, const std::string& workDir) {
    ViewerExe = WindowsPath(viewerExe);
    WorkDir = WindowsPath(workDir);
    std::string smokeFile = WorkDir + "\\" + SmokeFileName;
    std::string damagedFile = WorkDir + "\\damaged.rm";
    std::vector<Picture> frames;
    const std::vector<std::function<void()>> steps = {
        [&] {
            frames = MakeSmokeFile(smokeFile);
            MakeDamagedFile(damagedFile);
        },
        [&] { CheckResources(); },
        [&] { ViewFile(smokeFile, frames); },
        [&] { OpenThroughDialog(smokeFile, frames); },
        [&] { ViewDamagedFile(damagedFile); },
        [&] { OpenUnicodeNames(smokeFile, frames); },
        [&] { CancelDialog(); },
        [&] { StartMinimised(smokeFile); },
        [&] { UseMouse(smokeFile, frames); },
        [&] { ViewFullScreen(smokeFile, frames); },
        [&] { LoopOnceWithLog(smokeFile); },
    };
    for (const auto& step : steps) {
        DWORD start = GetTickCount();
        try {
            step();
        } catch (const std::exception& error) {
            Note("step abandoned: %s", error.what());
        }
        EndStragglers();
        Note("   (%.1f s)", (GetTickCount() - start) / 1000.0);
    }
    Note("viewers started: %d", ViewersStarted);
    Note("%d failure(s)", Failures);
    return Failures == 0 ? 0 : 1;
}

// For a check from outside Wine: shows the smoke file, writes what its client area must
// show (expected.ppm) and where it is on the X screen (client.txt: x y width height), and
// quits once the file "captured" appears.
int ShowForCapture(const std::string& viewerExe, const std::string& workDir) {
    ViewerExe = WindowsPath(viewerExe);
    WorkDir = WindowsPath(workDir);
    std::string smokeFile = WorkDir + "\\" + SmokeFileName;
    std::vector<Picture> frames = DecodeFrames(smokeFile);
    Require(!frames.empty(), "smoke file decodes");
    Viewer viewer = StartViewer("\"" + smokeFile + "\"");
    HWND window = WaitForWindow(viewer, "KinaroWndClass", "Kinaro");
    Require(window != nullptr, "viewer window opens");
    ExpectFrame(window, frames, 0, "shown for the X screenshot");
    RECT client;
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    Require(SavePPM(Centred(frames[0], client.right, client.bottom), WorkDir + "\\expected.ppm"),
            "writes expected.ppm");
    FILE* where = std::fopen((WorkDir + "\\client.txt.part").c_str(), "w");
    Require(where != nullptr, "writes client.txt");
    std::fprintf(where, "%ld %ld %ld %ld\n", static_cast<long>(origin.x),
                 static_cast<long>(origin.y), static_cast<long>(client.right),
                 static_cast<long>(client.bottom));
    std::fclose(where);
    MoveFileA((WorkDir + "\\client.txt.part").c_str(), (WorkDir + "\\client.txt").c_str());
    Check(WaitUntil(
              [&] {
                  return GetFileAttributesA((WorkDir + "\\captured").c_str()) !=
                         INVALID_FILE_ATTRIBUTES;
              },
              60000),
          "screenshot taken");
    PressKey(window, 'Q');
    Check(FinishViewer(viewer, "show") == 0, "'Q' ends the viewer with status 0");
    return Failures == 0 ? 0 : 1;
}

int CloseBoxOf(const std::string& title) {
    Viewer anyProcess;
    HWND box = WaitForWindow(anyProcess, "#32770", title.c_str());
    Check(box != nullptr, "box \"" + title + "\" appears");
    if (box) Check(CloseBox(box), "box \"" + title + "\" closes with OK");
    return Failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::strcmp(argv[1], "run") == 0) return Run(argv[2], argv[3]);
        if (argc == 4 && std::strcmp(argv[1], "show") == 0) return ShowForCapture(argv[2], argv[3]);
        if (argc == 3 && std::strcmp(argv[1], "close-box") == 0) return CloseBoxOf(argv[2]);
    } catch (const std::exception& error) {
        Note("FAIL: %s", error.what());
        return 1;
    }
    std::fprintf(stderr, "usage: %s run|show KINARO.EXE WORKDIR | close-box TITLE\n", argv[0]);
    return 2;
}
