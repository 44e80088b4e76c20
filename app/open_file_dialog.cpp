// The open-file dialog and its hook. The hook shows the command-line settings in the two
// check boxes when the dialog appears, takes every click on them into ViewerState at once,
// and answers the Help button with the help box.
#include "app/open_file_dialog.h"

#include <cstddef>
#include <cstring>

#include "app/main_routine.h"
#include "resources/resource_ids.h"
#include "shell/viewer_state.h"

// The structure as it was before the extension fields of later platform versions: 136 bytes
// with 64-bit pointers, 76 with 32-bit ones (32-bit Windows, the web page).
constexpr DWORD OpenFileStructSize = sizeof(void*) == 8 ? 136 : 76;
static_assert(offsetof(OPENFILENAMEA, pvReserved) == OpenFileStructSize,
              "the older open-file structure ends where the extension fields begin");

static const char OpenFileFilter[] =
    "Raster Metafiles (*.rm)\0*.rm\0"
    "All Files (*.*)\0*.*\0";  // the literal's own zero ends the list

static const char* const OpenFileHelpText =
    "Kinaro is a program to display Raster Metafile images.\n"
    "Select the Raster Metafile in the file selection dialog.\n"
    "\n"
    "Display Options:\n"
    "\n"
    "Multiple Colormaps: By setting this toggle, Kinaro will\n"
    "display a new colormap for each image.  This can be slower,\n"
    "but it is necessary if the images in the file have varying\n"
    "colormaps.\n"
    "\n"
    "Use Buffering: By setting this toggle, Kinaro will attempt\n"
    "to read the entire file into memory first and then display\n"
    "the images from memory instead of disk.  This mode of\n"
    "operation is much faster, but it may require a lot more\n"
    "memory.";

static bool Checked(HWND dialog, int id) {
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

UINT_PTR CALLBACK OpenFileHook(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SHOWWINDOW) {
        SendDlgItemMessageA(dialog, IDC_MULTIPLE_COLORMAPS, BM_SETCHECK,
                            State.MultipleColormaps ? BST_CHECKED : BST_UNCHECKED, 0);
        SendDlgItemMessageA(dialog, IDC_USE_BUFFERING, BM_SETCHECK,
                            State.BufferCount != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
        return 0;
    }
    if (message != WM_COMMAND) return 0;
    switch (wParam) {
        case IDC_MULTIPLE_COLORMAPS:
            State.MultipleColormaps = Checked(dialog, IDC_MULTIPLE_COLORMAPS) ? 1 : 0;
            return 1;
        case IDC_USE_BUFFERING:
            State.BufferCount = Checked(dialog, IDC_USE_BUFFERING) ? State.MaxFrames : 0;
            return 1;
        case IDC_OPEN_HELP:
            MessageBoxA(dialog, OpenFileHelpText, "Kinaro Open File Help", MB_OK);
            return 1;
        default: return 0;
    }
}

bool RunOpenFileDialog(char* name) {
    name[0] = '\0';
    OPENFILENAMEA request;
    memset(&request, 0, sizeof request);
    request.lStructSize = OpenFileStructSize;
    request.hwndOwner = nullptr;
    request.hInstance = State.Instance;
    request.lpstrFilter = OpenFileFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = name;
    request.nMaxFile = OpenFileNameSize;
    request.lpstrTitle = "Kinaro Open File";
    request.Flags = OFN_FILEMUSTEXIST | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK | OFN_NOCHANGEDIR |
                    OFN_HIDEREADONLY;
    request.lpstrDefExt = "rm";
    request.lpfnHook = OpenFileHook;
    request.lpTemplateName = MAKEINTRESOURCEA(IDD_OPENFILE);
    return GetOpenFileNameA(&request) != FALSE;
}
