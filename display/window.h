// The viewer's window class, its one window with its logical palette, and the black borders.
#pragma once

#include <cstdint>

#include "shell/viewer_state.h"

int StartUpGraphics();                          // 1 when the class is registered
int OpenWindow(int32_t width, int32_t height);  // 1, or 0 when no window could be created
void FillBorders(const Image& image);           // paints the client area outside the image
