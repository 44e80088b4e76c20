// The commands DoImage acts on. 0 to 5 carry the numbers of the playback modes.
#pragma once

#include <cstdint>

typedef int32_t PlaybackCommand;

constexpr PlaybackCommand CmdStop = 0;
constexpr PlaybackCommand CmdForward = 1;
constexpr PlaybackCommand CmdQuit = 2;
constexpr PlaybackCommand CmdBackward = 3;
constexpr PlaybackCommand CmdLoop = 4;
constexpr PlaybackCommand CmdCycle = 5;
constexpr PlaybackCommand CmdStepForward = 6;
constexpr PlaybackCommand CmdStepBackward = 7;
constexpr PlaybackCommand CmdFirst = 8;
constexpr PlaybackCommand CmdRedraw = 9;
constexpr PlaybackCommand CmdNone = 10;
