// The end of the process for programs that go on after the viewer's code has ended: the unit
// tests, rmtool and the fuzz target. The ending, with the fatal error's record, is thrown to
// the caller, which starts the viewer afresh for its next case, command or input.
#include "shell/diagnostics.h"

void ReleaseBeforeFatalBox() {}

void EndProcess(int status, const FatalRecord* fatal) {
    if (fatal != nullptr) throw ProcessEnded{status, *fatal};
    throw ProcessEnded{status, std::nullopt};
}
