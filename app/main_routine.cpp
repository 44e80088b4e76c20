// The main routine: defaults, command line, image list, the metafile (named or chosen in the
// open-file dialog), the window class, optional buffering, the first picture, the message
// loop and the release of everything.
#include "app/main_routine.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/open_file_dialog.h"
#include "display/window.h"
#include "display/window_proc.h"
#include "platform/source_file.h"
#include "playback/controller.h"
#include "playback/image_list.h"
#include "shell/command_line.h"
#include "shell/diagnostics.h"
#include "shell/viewer_state.h"

// Entries are emptied by FillImageList before use; calloc leaves the pages of a large list
// untouched until then, and refuses a size that overflows.
static void AllocImageList() {
    size_t count = State.MaxFrames;
    State.ImageList = static_cast<Image*>(calloc(count, sizeof(Image)));
    if (State.ImageList == nullptr && count != 0)
        FatalError("main", "Cannot allocate memory for image list (%ld)",
                   (long long)(count * sizeof(Image)));
}

// Opens `name` if it is something the viewer can read and seek in. A pipe, a socket, a
// terminal or another character device is refused before a byte is read: the viewer seeks,
// and such a source may never end. Each reason goes to the log.
static FILE* OpenIfReadable(const char* name, bool& refused) {
    OpenedSource source = OpenSource(name);
    if (source.kind == SourceKind::File) return source.stream;
    if (source.kind == SourceKind::Missing) {
        LogAt(0, "Cannot open \"%s\": %s\n", name, source.reason.c_str());
        return nullptr;
    }
    LogAt(0, "Not reading \"%s\": %s\n", name, source.reason.c_str());
    fclose(source.stream);
    refused = true;
    return nullptr;
}

// Opens the name as given, else with ".rm" appended (always appended, whatever the name
// ends with); a name that opened but cannot be read as a file is not tried again.
static void OpenMetafile(const char* name) {
    bool refused = false;
    State.MetafileStream = OpenIfReadable(name, refused);
    if (State.MetafileStream != nullptr) return;
    if (!refused) {
        std::string withExtension = std::string(name) + ".rm";
        State.MetafileStream = OpenIfReadable(withExtension.c_str(), refused);
    }
    if (State.MetafileStream == nullptr)
        FatalError("main", "Cannot open Raster Metafile \"%s\"", name);
}

int KinaroMain(HINSTANCE instance, HINSTANCE prevInstance, int cmdShow, int argc, char** argv) {
    State.Instance = instance;
    State.PrevInstance = prevInstance;
    State.CmdShow = cmdShow;
    RaiseTimerResolution();
    InitDefaults();
    const char* metafileName = ParseCommandLine(argc, argv);
    AllocImageList();

    static char chosenName[OpenFileNameSize];
    if (metafileName == nullptr) {
        if (!RunOpenFileDialog(chosenName)) {
            LogAt(8, "GetOpenFile returns False, CommDlgExtendedError returns %8.8lx\n",
                  (unsigned long)CommDlgExtendedError());
            RestoreTimerResolution();
            return 0;
        }
        metafileName = chosenName;
    }
    OpenMetafile(metafileName);

    if (StartUpGraphics() == 0) FatalError("main", "Cannot initialize graphics", 0);
    InitImage(State.DisplayImage);
    if (State.BufferCount != 0)
        State.TotalImages = (uint32_t)FillImageList(State.ImageList, (int32_t)State.BufferCount);
    else
        State.TotalImages = AllOnes;

    DoImage(CmdRedraw);
    EventLoop();
    CleanUp(true);
    return 0;
}
