#include "shell/diagnostics.h"

#include <cstdio>
#include <utility>

#include "shell/viewer_state.h"

void LogAt(int threshold, const char* format, ...) {
    if (State.LogLevel <= threshold || State.LogFile == nullptr) return;
    va_list args;
    va_start(args, format);
    vfprintf(State.LogFile, format, args);
    va_end(args);
}

bool LogEnabled(int threshold) {
    return State.LogLevel > threshold && State.LogFile != nullptr;
}

// Replaces the first conversion of `format` ("%ld", "%d", "%lu", "%u" or "%s") with
// `value`; "%%" stands for one '%'.
static std::string Substitute(std::string_view format, const std::string& value) {
    std::string out = "Error: ";
    bool substituted = false;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < format.size() && format[j] == 'l') ++j;
        if (j < format.size() && !substituted &&
            (format[j] == 'd' || format[j] == 'u' || format[j] == 's')) {
            out += value;
            substituted = true;
            i = j;
            continue;
        }
        out += c;
    }
    return out;
}

std::string FormatErrorText(std::string_view format, long long number) {
    return Substitute(format, std::to_string(number));
}

std::string FormatErrorText(std::string_view format, std::string_view text) {
    return Substitute(format, std::string(text));
}

static bool IsStandardStream(FILE* stream) {
    return stream == stdout || stream == stderr;
}

[[noreturn]] static void ReportFatal(const char* routine, std::string text) {
    const FatalRecord record{routine, std::move(text), State.BlockNumber};
    CleanUp(false);
    ReleaseBeforeFatalBox();
    if (State.SilentErrors == 0)
        MessageBoxA(nullptr, record.text.c_str(), "Kinaro Error", MB_OK | MB_ICONERROR);
    if (State.LogLevel > 0 && State.LogFile != nullptr) {
        fprintf(State.LogFile, "\nFatal error in routine \"%s\"\n", record.routine.c_str());
        fprintf(State.LogFile, "%s\n", record.text.c_str());
        fprintf(State.LogFile, "Raster Metafile Block Number = %ld\n", (long)record.blockNumber);
        if (!IsStandardStream(State.LogFile)) {
            fclose(State.LogFile);
            State.LogFile = nullptr;
        }
    }
    EndProcess(-1, &record);
}

void FatalError(const char* routine, std::string_view format, long long number) {
    ReportFatal(routine, FormatErrorText(format, number));
}

void FatalError(const char* routine, std::string_view format, std::string_view text) {
    ReportFatal(routine, FormatErrorText(format, text));
}

static bool TimerResolutionRaised = false;

void RaiseTimerResolution() {
    if (!TimerResolutionRaised) TimerResolutionRaised = timeBeginPeriod(1) == TIMERR_NOERROR;
}

void RestoreTimerResolution() {
    if (TimerResolutionRaised) timeEndPeriod(1);
    TimerResolutionRaised = false;
}

void CleanUp(bool closeLog) {
    RestoreTimerResolution();
    if (State.MainWindow != nullptr) DestroyWindow(State.MainWindow);
    if (State.Palette != nullptr) DeleteObject(State.Palette);
    if (State.Menu != nullptr) DestroyMenu(State.Menu);
    if (State.MetafileStream != nullptr) {
        fclose(State.MetafileStream);
        State.MetafileStream = nullptr;
    }
    if (closeLog && State.LogLevel > 0 && State.LogFile != nullptr &&
        !IsStandardStream(State.LogFile)) {
        LogAt(0, "Closing Log File.\n");
        fclose(State.LogFile);
        State.LogFile = nullptr;
    }
}
