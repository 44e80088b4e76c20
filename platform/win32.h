// The one boundary between Kinaro and the operating system.
//
// Kinaro is written against a small subset of the Win32 API. On Windows this header is the
// real <windows.h>. Elsewhere it declares exactly that subset (types, constants with their
// Win32 values, functions) and a backend library implements it: platform/gtk on the Linux
// desktop, platform/headless for the unit tests and the command-line tools. The build picks
// the backend; nothing outside platform/ includes GTK or <windows.h>.
//
// Contracts follow Win32: handles are opaque and null means failure or none; rectangles
// have exclusive right and bottom edges; a window procedure may be re-entered synchronously
// from ShowWindow, UpdateWindow, DestroyWindow and from inside any modal loop.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// After <windows.h>, which they need.
#include <commdlg.h>
#include <mmsystem.h>

#else  // !_WIN32

#include <cstdint>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef uint32_t UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uintptr_t UINT_PTR;
typedef WORD ATOM;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Opaque handles, each its own type as with STRICT on Windows.
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef struct HMENU__* HMENU;
typedef struct HICON__* HICON;
typedef struct HDC__* HDC;
typedef struct HPALETTE__* HPALETTE;
typedef struct HBRUSH__* HBRUSH;
typedef HICON HCURSOR;
typedef void* HGDIOBJ;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

#define MAKEINTRESOURCEA(i) ((LPSTR)((uintptr_t)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((uintptr_t)(r)) >> 16) == 0)
#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xffff))
#define LOBYTE(w) ((BYTE)(((uintptr_t)(w)) & 0xff))

// Fields of one type that follow each other share a declaration; the layout is Win32's.
struct POINT {
    LONG x, y;
};

struct RECT {
    LONG left, top, right, bottom;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore, fIncUpdate;
    BYTE rgbReserved[32];
};

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra, cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName, lpszClassName;
};

struct PALETTEENTRY {
    BYTE peRed, peGreen, peBlue, peFlags;
};

struct LOGPALETTE {
    WORD palVersion, palNumEntries;
    PALETTEENTRY palPalEntry[1];
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth, biHeight;
    WORD biPlanes, biBitCount;
    DWORD biCompression, biSizeImage;
    LONG biXPelsPerMeter, biYPelsPerMeter;
    DWORD biClrUsed, biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;
    LPSTR lpstrCustomFilter;
    DWORD nMaxCustFilter, nFilterIndex;
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCSTR lpstrInitialDir, lpstrTitle;
    DWORD Flags;
    WORD nFileOffset, nFileExtension;
    LPCSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCSTR lpTemplateName;
    // Extension fields of later platform versions; callers that pass the older structure
    // size (136 bytes on 64-bit systems) never touch them.
    void* pvReserved;
    DWORD dwReserved, FlagsEx;
};

union LARGE_INTEGER {
    LONGLONG QuadPart;  // the only part Kinaro reads
};

// Message boxes.
#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u
#define MB_ICONINFORMATION 0x00000040u
#define IDOK 1
#define IDCANCEL 2

// System metrics.
#define SM_CYCAPTION 4
#define SM_CYMENU 15
#define SM_CXFRAME 32
#define SM_CYFRAME 33
#define SM_CMOUSEBUTTONS 43
#define SM_CXMAXTRACK 59
#define SM_CYMAXTRACK 60

// Window styles and creation.
#define WS_OVERLAPPEDWINDOW 0x00CF0000u
#define WS_POPUP 0x80000000u
#define WS_VISIBLE 0x10000000u
#define WS_CHILD 0x40000000u
#define WS_THICKFRAME 0x00040000u
#define CW_USEDEFAULT ((int)0x80000000)
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_MAXIMIZE 3
#define SW_SHOW 5
#define SW_SHOWDEFAULT 10
#define STARTF_USESHOWWINDOW 0x00000001u

// Window messages.
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_SETTEXT 0x000C
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_ACTIVATEAPP 0x001C
#define WM_KEYDOWN 0x0100
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_QUERYNEWPALETTE 0x030F

// Buttons in dialogs.
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1

// GDI.
#define PC_RESERVED 0x01
#define BLACK_BRUSH 4
#define DIB_RGB_COLORS 0
#define BI_RGB 0
#define IDC_ARROW MAKEINTRESOURCEA(32512)

// Common dialogs.
#define OFN_HIDEREADONLY 0x00000004u
#define OFN_NOCHANGEDIR 0x00000008u
#define OFN_ENABLEHOOK 0x00000020u
#define OFN_ENABLETEMPLATE 0x00000040u
#define OFN_FILEMUSTEXIST 0x00001000u

// Message boxes and system information.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
DWORD WINAPI GetVersion();
int WINAPI GetSystemMetrics(int index);
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD code);
HINSTANCE WINAPI GetModuleHandleA(LPCSTR moduleName);

// Windows and messages.
ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass);
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);
BOOL WINAPI ShowWindow(HWND window, int showCommand);
BOOL WINAPI UpdateWindow(HWND window);
BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI GetClientRect(HWND window, RECT* rect);
BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL WINAPI GetUpdateRect(HWND window, RECT* rect, BOOL erase);
HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint);
HWND WINAPI GetForegroundWindow();
HWND WINAPI GetParent(HWND window);
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax);
BOOL WINAPI PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT remove);
BOOL WINAPI TranslateMessage(const MSG* message);
LRESULT WINAPI DispatchMessageA(const MSG* message);
void WINAPI PostQuitMessage(int exitCode);
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int itemId, UINT message, WPARAM wParam,
                                   LPARAM lParam);
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL WINAPI KillTimer(HWND window, UINT_PTR id);

// Menus and resources.
HMENU WINAPI LoadMenuA(HINSTANCE instance, LPCSTR name);
BOOL WINAPI SetMenu(HWND window, HMENU menu);
BOOL WINAPI DestroyMenu(HMENU menu);
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);

// GDI: device contexts, palette, drawing.
HDC WINAPI GetDC(HWND window);
int WINAPI ReleaseDC(HWND window, HDC dc);
HPALETTE WINAPI CreatePalette(const LOGPALETTE* palette);
HPALETTE WINAPI SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT WINAPI RealizePalette(HDC dc);
BOOL WINAPI AnimatePalette(HPALETTE palette, UINT startIndex, UINT entries,
                           const PALETTEENTRY* colors);
BOOL WINAPI DeleteObject(HGDIOBJ object);
HGDIOBJ WINAPI GetStockObject(int object);
int WINAPI SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc,
                             int ySrc, UINT startScan, UINT scanLines, const void* bits,
                             const BITMAPINFO* info, UINT colorUse);
BOOL WINAPI SetRect(RECT* rect, int left, int top, int right, int bottom);
int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// Common dialogs.
BOOL WINAPI GetOpenFileNameA(OPENFILENAMEA* openFileName);
DWORD WINAPI CommDlgExtendedError();

// High-resolution monotonic clock.
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// The system timer's resolution (winmm). Every timeBeginPeriod that returns TIMERR_NOERROR
// is ended by a timeEndPeriod with the same period. The Linux backends keep no system tick:
// both do nothing there and return TIMERR_NOERROR.
typedef UINT MMRESULT;
#define TIMERR_NOERROR 0
MMRESULT WINAPI timeBeginPeriod(UINT periodMs);
MMRESULT WINAPI timeEndPeriod(UINT periodMs);

#endif  // _WIN32
