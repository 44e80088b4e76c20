// rmtool thumbnail: a small PNG of a metafile's first frame, for file managers.
#pragma once

#include <string>
#include <vector>

int RunThumbnail(const std::vector<std::string>& args);

extern const char* const ThumbnailUsage;
