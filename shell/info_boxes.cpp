#include "shell/info_boxes.h"

#include "resources/version.h"
#include "shell/viewer_state.h"

static const char* const NoticeLine = "a viewer and animator for Raster Metafiles";
static const char* const AcknowledgementLine = "written for the Kinaro project";

static const char* const OptionSynopsis =
    "[-b [#]] [-d[#] log] [-f #,#,#] [-g] [-help] [-p #] [-s]\n"
    "\t[-v] [-noinfo] [-cycle # | -loop #] [-max #] [-x]";

std::string AboutText() {
    return std::string("Kinaro : version ") + KinaroVersion + ", " + NoticeLine + "\n    (" +
           AcknowledgementLine + ")";
}

std::string UsageText() {
    return std::string("Usage: kinaro ") + OptionSynopsis +
           "\n"
           "\n"
           "-b [#]\tTurn on buffering for # frames\n"
           "-d[#] log\tSend debuging info to file log\n"
           "-f #,#,#\tView selected frames (start frame, end frame, skip)\n"
           "-g\tConvert images to grayscale\n"
           "-help\tGet help info\n"
           "-nom\tAssume same multiple colormap for all frames in file\n"
           "-p #\tPause at least # ms between frames\n"
           "-v\tPrint version info\n"
           "-noinfo\tSupress informational messages\n"
           "-cycle #\tCycle for # frames and then exit\n"
           "-loop #\tLoop for # frames and then exit\n"
           "-max #\tSet maximum number of frames (512 is default)\n"
           "-x\tFull-screen mode (no menu bar, use Esc to exit)";
}

std::string ControlsText() {
    return "Controls:\n"
           "    1st mouse button = move backward through images\n"
           "    2nd mouse button = move forward through images\n"
           "    3rd mouse button = exit Kinaro\n"
           "\n"
           "    \"F\" key = move forward through images\n"
           "    \"B\" key = move backward through images\n"
           "    \"C\" key = cycle through images first to last, last to first, etc.\n"
           "    \"L\" key = loop through images first to last, first to last, etc.\n"
           "\n"
           "    \"1\" key = move to first image\n"
           "    \"+\" and \"-\" keys = move forward/backward one image\n"
           "    \"<\" and \">\" keys = decrease/increase speed\n"
           "\n"
           "    \"S\" key or SpaceBar = stop moving through images\n"
           "    \"Q\" key or Escape = quit Kinaro";
}

void ShowAbout() {
    MessageBoxA(State.MainWindow, AboutText().c_str(), "Kinaro Info", MB_OK);
}

void ShowUsage() {
    if (State.UsageShowing) return;
    State.UsageShowing = 1;
    MessageBoxA(nullptr, UsageText().c_str(), "Kinaro Usage", MB_OK);
    State.UsageShowing = 0;
}

void ShowControls() {
    if (State.ControlsShowing) return;
    State.ControlsShowing = 1;
    MessageBoxA(nullptr, ControlsText().c_str(), "Kinaro Controls", MB_OK);
    State.ControlsShowing = 0;
}
