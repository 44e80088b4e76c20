#include "shell/command_line.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "resources/version.h"
#include "shell/diagnostics.h"
#include "shell/info_boxes.h"
#include "shell/viewer_state.h"

namespace {

[[noreturn]] void CommandLineError() {
    ShowUsage();
    EndProcess(-1);
}

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

// The scans below behave as the C library's formatted input over the option values:
// leading white space is skipped, a sign is allowed, trailing text is ignored, and a value
// that is empty or only white space reports the end of input (-1) rather than a failed
// conversion (0). Values beyond the field's range saturate instead of being undefined.
constexpr int EndOfInput = -1;

void SkipSpace(const char*& p) {
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
}

// Converts one signed decimal at p; false (p unchanged) when there is none.
bool ScanSigned(const char*& p, int64_t& value) {
    const char* q = p;
    bool negative = false;
    if (*q == '+' || *q == '-') negative = (*q++ == '-');
    if (!std::isdigit(static_cast<unsigned char>(*q))) return false;
    int64_t magnitude = 0;
    for (; std::isdigit(static_cast<unsigned char>(*q)); ++q) {
        if (magnitude < (int64_t{1} << 40)) magnitude = magnitude * 10 + (*q - '0');
    }
    value = negative ? -magnitude : magnitude;
    p = q;
    return true;
}

int32_t SaturateToInt32(int64_t v) {
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// "%ld" and "%d": a signed 32-bit decimal.
int ScanInt32(const char* text, int32_t& out) {
    const char* p = text;
    SkipSpace(p);
    if (*p == '\0') return EndOfInput;
    int64_t v;
    if (!ScanSigned(p, v)) return 0;
    out = SaturateToInt32(v);
    return 1;
}

// "%u": an unsigned 32-bit decimal; a leading '-' negates it in unsigned arithmetic.
int ScanUInt32(const char* text, uint32_t& out) {
    const char* p = text;
    SkipSpace(p);
    if (*p == '\0') return EndOfInput;
    int64_t v;
    if (!ScanSigned(p, v)) return 0;
    if (v > int64_t{UINT32_MAX}) v = UINT32_MAX;
    if (v < -int64_t{UINT32_MAX}) v = -int64_t{UINT32_MAX};
    out = v < 0 ? 0u - static_cast<uint32_t>(-v) : static_cast<uint32_t>(v);
    return 1;
}

// "%ld,%ld,%ld": returns how many values converted, or EndOfInput when none could start.
int ScanThreeInt32(const char* text, int32_t out[3]) {
    const char* p = text;
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (*p != ',') return count;
            ++p;
        }
        SkipSpace(p);
        if (*p == '\0') return count == 0 ? EndOfInput : count;
        int64_t v;
        if (!ScanSigned(p, v)) return count;
        out[i] = SaturateToInt32(v);
        ++count;
    }
    return count;
}

// "-%*c%hd" over the -d option itself: the level after "-d" (or "-x" for any x).
bool ScanLogLevel(const char* option, int16_t& level) {
    if (option[0] != '-' || option[1] == '\0') return false;
    const char* p = option + 2;
    SkipSpace(p);
    int64_t v;
    if (!ScanSigned(p, v)) return false;
    level = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFF));
    return true;
}

struct Arguments {
    int count;
    char** vector;
    int next;                   // index of the argument after the option being handled
    CommandLineRefusal* where;  // the option being handled, when the caller asked

    bool HasNext() const { return next < count; }
    bool NextIsValue() const { return HasNext() && vector[next][0] != '-'; }
    const char* Take() {
        if (where != nullptr && where->option > 0 && next > where->option) where->valueTaken = true;
        return vector[next++];
    }
};

// The value argument of an option whose value is required and must not look like an option.
const char* RequiredValue(Arguments& args) {
    if (!args.NextIsValue()) CommandLineError();
    return args.Take();
}

// Options whose one value is "%ld" and that are rejected when nothing converts; an empty
// value leaves the setting as it was.
void ScanRequiredInt32(Arguments& args, int32_t& setting) {
    int32_t value;
    int converted = ScanInt32(RequiredValue(args), value);
    if (converted == 0) CommandLineError();
    if (converted == 1) setting = value;
}

void ScanRequiredUInt32Pattern(Arguments& args, uint32_t& setting) {
    int32_t value = static_cast<int32_t>(setting);
    ScanRequiredInt32(args, value);
    setting = static_cast<uint32_t>(value);
}

// The one failure with a box of its own rather than FatalError (HACKING.md, "Errors"):
// FatalError reports to the log, and this is the log that could not be opened.
void OpenLogFile(const char* name) {
    FILE* file = fopen(name, "w");
    if (file == nullptr) {
        std::string text = "Cannot open \"" + std::string(name) + "\" for debug info";
        MessageBoxA(nullptr, text.c_str(), "Kinaro Error", MB_OK | MB_ICONERROR);
        EndProcess(-1);
    }
    State.LogFile = file;
}

void OptionDebug(const char* option, Arguments& args) {
    State.LogLevel = 1;
    int16_t level;
    if (ScanLogLevel(option, level)) State.LogLevel = level < 0 ? 1 : level;
    if (args.NextIsValue()) {
        OpenLogFile(args.Take());
    } else {
        State.LogFile = stdout;
    }
}

void OptionBuffer(Arguments& args) {
    State.BufferCount = AllOnes;
    uint32_t count;
    if (args.HasNext() && ScanUInt32(args.vector[args.next], count) == 1) {
        State.BufferCount = count;
        args.Take();
    }
}

void OptionFrames(Arguments& args) {
    int32_t values[3];
    if (ScanThreeInt32(RequiredValue(args), values) != 3) CommandLineError();
    // A skip of 0 would select the same frame without end.
    if (values[2] == 0) CommandLineError();
    State.FirstFrame = static_cast<uint32_t>(values[0]) - 1;
    State.LastFrame = static_cast<uint32_t>(values[1]);
    State.FrameSkip = static_cast<uint32_t>(values[2]);
}

void OptionWidthAdjust(Arguments& args) {
    if (!args.HasNext()) CommandLineError();
    int32_t value;
    int converted = ScanInt32(args.Take(), value);
    if (converted == 0) CommandLineError();
    if (converted == 1) State.WidthAdjust = value;
}

void OptionVersion() {
    std::string text = std::string("Kinaro ") + KinaroVersion + " - MSWIN";
    MessageBoxA(nullptr, text.c_str(), "Kinaro Version", MB_OK | MB_ICONINFORMATION);
    EndProcess(0);
}

void OptionHelp() {
    ShowAbout();
    ShowUsage();
    ShowControls();
    EndProcess(0);
}

// Returns false when `option` is none of the options.
bool ApplyOption(const char* option, Arguments& args) {
    if (EqualsIgnoringCase(option, "-m")) {
        State.MultipleColormaps = 1;
    } else if (EqualsIgnoringCase(option, "-s")) {
        State.MultipleColormaps = 0;
    } else if (EqualsIgnoringCase(option, "-g")) {
        State.Grayscale = 1;
    } else if (option[0] == '-' && (option[1] == 'd' || option[1] == 'D')) {
        OptionDebug(option, args);
    } else if (EqualsIgnoringCase(option, "-help")) {
        OptionHelp();
    } else if (EqualsIgnoringCase(option, "-b")) {
        OptionBuffer(args);
    } else if (EqualsIgnoringCase(option, "-p")) {
        ScanRequiredInt32(args, State.Wait);
    } else if (EqualsIgnoringCase(option, "-f")) {
        OptionFrames(args);
    } else if (EqualsIgnoringCase(option, "-w")) {
        OptionWidthAdjust(args);
    } else if (EqualsIgnoringCase(option, "-loop")) {
        ScanRequiredInt32(args, State.RepeatLimit);
        State.Mode = Loop;
    } else if (EqualsIgnoringCase(option, "-cycle")) {
        ScanRequiredInt32(args, State.RepeatLimit);
        State.Mode = Cycle;
    } else if (EqualsIgnoringCase(option, "-max")) {
        ScanRequiredUInt32Pattern(args, State.MaxFrames);
    } else if (EqualsIgnoringCase(option, "-x")) {
        State.FullScreen = 1;
    } else if (EqualsIgnoringCase(option, "-v")) {
        OptionVersion();
    } else if (EqualsIgnoringCase(option, "-noinfo")) {
        State.ShowInfo = 0;
    } else {
        return false;
    }
    return true;
}

void BuildFileImageNumberTable() {
    if (State.MaxFrames > MaxFramesCeiling) {
        FatalError("ParseCommandLine",
                   "Cannot allocate memory for image positions (%ld)\n\tCheck \"-b\" or \"-max\" "
                   "parameter",
                   static_cast<long long>(State.MaxFrames) * 4);
    }
    auto* table = static_cast<uint32_t*>(malloc(size_t{State.MaxFrames} * 4));
    if (table == nullptr) {
        FatalError("ParseCommandLine",
                   "Cannot allocate memory for image positions (%ld)\n\tCheck \"-b\" or \"-max\" "
                   "parameter",
                   static_cast<long long>(State.MaxFrames) * 4);
    }
    uint32_t k = 0;
    for (uint32_t value = State.FirstFrame; value < State.LastFrame && k < State.MaxFrames;
         value += State.FrameSkip) {
        table[k++] = value;
    }
    for (; k < State.MaxFrames; ++k) table[k] = AllOnes;
    State.FileImageNumber = table;
}

const char* ParseArguments(Arguments& args) {
    const char* metafileName = nullptr;
    CommandLineRefusal frameCount;  // the option that set the frame count last
    while (args.next < args.count) {
        if (args.where != nullptr) *args.where = CommandLineRefusal{args.next, false};
        const char* argument = args.Take();
        if (ApplyOption(argument, args)) {
            if (args.where != nullptr &&
                (EqualsIgnoringCase(argument, "-max") || EqualsIgnoringCase(argument, "-b")))
                frameCount = *args.where;
            continue;
        }
        if (argument[0] == '-' || metafileName != nullptr) CommandLineError();
        metafileName = argument;
    }
    if (args.where != nullptr) *args.where = frameCount;

    if (State.BufferCount == AllOnes) State.BufferCount = State.MaxFrames;
    if (State.BufferCount != 0) State.MaxFrames = State.BufferCount;
    // Image index 0 is always asked for first, so every table needs at least one entry.
    if (State.MaxFrames == 0) CommandLineError();
    if (State.LastFrame > State.MaxFrames) State.LastFrame = State.MaxFrames;
    BuildFileImageNumberTable();
    return metafileName;
}

}  // namespace

const char* ParseCommandLine(int argc, char** argv) {
    Arguments args{argc, argv, 1, nullptr};
    return ParseArguments(args);
}

const char* ParseCommandLine(int argc, char** argv, CommandLineRefusal& where) {
    Arguments args{argc, argv, 1, &where};
    return ParseArguments(args);
}
