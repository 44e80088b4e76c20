// PNG files in and out.
#pragma once

#include <string>

#include "tools/rmtool/colour_reduction.h"
#include "tools/rmtool/tool_common.h"

// Reads a PNG: a palette PNG keeps its indices and colours exactly; a grey one becomes
// indices equal to the grey levels over a grey ramp; anything with colour or alpha comes back
// as true colour (alpha composited over black, since a metafile has no transparency).
SourcePicture ReadPng(const std::string& path);

// Writes an 8-bit palette PNG with the frame's palette and indices, through a temporary file.
void WritePng(const std::string& path, const IndexedFrame& frame, bool force);
