// Keys, menu commands and mouse buttons into playback commands.
#pragma once

#include "playback/playback_command.h"

// Translates the message in EventMessage/EventWParam; may change Mode, Direction and Wait.
PlaybackCommand GetEvent();
