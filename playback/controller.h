// DoImage: the one routine that decides which image is on screen.
#pragma once

#include "playback/playback_command.h"

void DoImage(PlaybackCommand command);
