// The debug log, fatal errors and shutdown.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#if defined(__MINGW32__)
#define KINARO_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define KINARO_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KINARO_PRINTF(fmt, args)
#endif

// Writes one log line, exactly its format, when LogLevel exceeds `threshold`.
void LogAt(int threshold, const char* format, ...) KINARO_PRINTF(2, 3);

// True when a line of this threshold would be written; lets a hot path skip the work of
// preparing its arguments.
bool LogEnabled(int threshold);

// The message text of a fatal error: "Error: " followed by `format`, whose one "%ld" (or
// "%s") takes the argument. Numbers print in full (no 32-bit truncation) and the text has
// no length limit, so a long file name is never cut or written past a buffer.
std::string FormatErrorText(std::string_view format, long long number);
std::string FormatErrorText(std::string_view format, std::string_view text);

// What a fatal error reports: the caller's routine, the text of the box ("Error: ...") and
// the block number of the third log line. Tools read it instead of the box and the log.
struct FatalRecord {
    std::string routine;
    std::string text;
    int32_t blockNumber = -1;
};

// Reports an error the viewer cannot continue from: CleanUp (log left open), the box
// "Kinaro Error", the three log lines, then the end of the process with status -1 and the
// record of what was reported. `routine` is the caller's own name. Never returns.
[[noreturn]] void FatalError(const char* routine, std::string_view format, long long number);
[[noreturn]] void FatalError(const char* routine, std::string_view format, std::string_view text);

// Releases the window, palette, menu, metafile, the timer resolution and, when `closeLog`
// is set, the log file.
void CleanUp(bool closeLog);

// The system timer at 1 ms while the viewer runs, so that the animation timer keeps to the
// shortest period the platform has rather than the default tick. Restoring ends exactly
// the one raise, however many ending paths call it.
void RaiseTimerResolution();
void RestoreTimerResolution();

// Ends the process with `status` (0 or -1), the timer resolution restored; `fatal` is set
// when FatalError ends it. The program chooses the end it links: kinaro_exit ends the
// process (the box and the log have already said everything), kinaro_exit_throwing throws
// ProcessEnded instead, so that tests, tools and the fuzz target observe an ending, with its
// record, without losing the process.
[[noreturn]] void EndProcess(int status, const FatalRecord* fatal = nullptr);

// Called by FatalError before its box. With the real end, the image arrays and tables go
// back to the system there: the process is about to end, and when buffering has taken all the
// memory there is, the box needs some to be drawn. The throwing end keeps them for its caller.
void ReleaseBeforeFatalBox();

struct ProcessEnded {
    int status;
    std::optional<FatalRecord> fatal;  // set when the ending was a fatal error
};
