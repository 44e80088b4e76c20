// The timer resolution calls for the Linux backends, where timers already run at the period
// they are given: nothing to raise.
#include "platform/win32.h"

MMRESULT WINAPI timeBeginPeriod(UINT) {
    return TIMERR_NOERROR;
}
MMRESULT WINAPI timeEndPeriod(UINT) {
    return TIMERR_NOERROR;
}
