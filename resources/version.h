// The program's version, as the About box and the window title show it and as the Windows
// version resource and manifest carry it. Here, at the bottom, so that the resource writer
// can read it as well as the viewer.
#pragma once

constexpr const char* KinaroVersion = "1.62";
