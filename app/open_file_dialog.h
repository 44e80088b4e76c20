// The open-file dialog of the start-up: the metafile and the two display options.
#pragma once

#include <cstddef>

// Size of the name buffer the dialog fills, terminating zero included.
constexpr size_t OpenFileNameSize = 256;

// Runs the dialog; true with the chosen name in `name` (OpenFileNameSize characters), false
// when the user cancelled or the dialog failed (CommDlgExtendedError tells which).
bool RunOpenFileDialog(char* name);
