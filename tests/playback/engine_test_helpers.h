// Shared ground for the engine's tests: a viewer set up on a file of our own making, as the
// main routine leaves it before its first DoImage, and the picture a correct engine shows.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/core/core.h"
#include "playback/playback_command.h"
#include "shell/viewer_state.h"
#include "tests/support/test_support.h"
#include "tools/rmwriter/rmwriter.h"

// A frame with runs, fills and literal pixels and a colour table of its own (distinct for
// every seed), so that frames and their palettes tell apart on screen.
rmwriter::Frame ColourFrame(int width, int height, int seed);

// Writes `frames` to a file, opens it and prepares the viewer as the main routine does:
// the default selection, the image list, the window class, an empty DisplayImage, and,
// when `buffered`, every image read into the list. No window yet. Without frames the file
// holds two blocks that are no frame.
void StartViewer(const std::vector<rmwriter::Frame>& frames, bool buffered);

// The client surface of the main window, row 0 (top) first.
std::vector<uint32_t> ClientSurface();
// Whether the animation timer of the main window runs.
bool AnimationTimerRuns();
// The record of State.Palette (an empty one when it is no live palette).
const core::PaletteRecord& ViewerPalette();
// What the client area must show with `frame` centred in it through `colours` (its own
// table when null), black around it.
std::vector<uint32_t> ExpectedSurface(const rmwriter::Frame& frame,
                                      const rmwriter::ColorTable* colours = nullptr);
// The 0x00RRGGBB colour a table gives an index: entry 0 is black.
uint32_t ColourOf(const rmwriter::Frame& frame, uint8_t index);

// The user's inputs as the window procedure hands them on: the message goes to GetEvent and
// its command (unless quit or none) to DoImage. Return the command.
PlaybackCommand Key(char key);
PlaybackCommand Menu(int id);
PlaybackCommand Mouse(UINT message);
// One tick of the animation timer.
void Tick();
