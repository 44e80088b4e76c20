#include "python/src/metafile_output.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "python/src/open_metafile.h"

static_assert(sizeof(Rgb) == 3, "RGB pixels are copied as packed bytes");

namespace {

const std::string& RefuseExisting(const std::string& path, bool force) {
    struct stat info;
    if (!force && lstat(path.c_str(), &info) == 0) throw OpenFailure{EEXIST, path};
    return path;
}

void CheckSize(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX ||
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > MaxPicturePixels)
        throw std::invalid_argument("a frame must have between 1 and " +
                                    std::to_string(MaxPicturePixels) + " pixels, not " +
                                    std::to_string(width) + " x " + std::to_string(height));
}

}  // namespace

MetafileOutput::MetafileOutput(const std::string& path, bool force)
    : file_(RefuseExisting(path, force), force), encoder_(EncodeChoices{}), reducer_(false) {}

void MetafileOutput::AddIndexed(int64_t width, int64_t height, const uint8_t* indices,
                                const std::vector<Rgb>& palette) {
    CheckSize(width, height);
    if (palette.empty() || palette.size() > 256)
        throw std::invalid_argument("a palette has 1 to 256 entries, not " +
                                    std::to_string(palette.size()));
    IndexedFrame frame;
    frame.width = static_cast<int32_t>(width);
    frame.height = static_cast<int32_t>(height);
    frame.pixels.assign(indices, indices + width * height);
    const uint8_t highest = *std::max_element(frame.pixels.begin(), frame.pixels.end());
    if (highest >= palette.size())
        throw std::invalid_argument("index " + std::to_string(highest) + " is past the palette's " +
                                    std::to_string(palette.size()) + " entries");
    frame.palette = palette;
    Put(frame);
}

void MetafileOutput::AddRgb(int64_t width, int64_t height, const uint8_t* rgb) {
    CheckSize(width, height);
    std::vector<Rgb> colours(static_cast<size_t>(width * height));
    std::memcpy(colours.data(), rgb, colours.size() * 3);
    bool quantised = false;
    Put(reducer_.Reduce(static_cast<int32_t>(width), static_cast<int32_t>(height), colours,
                        &quantised));
}

void MetafileOutput::Put(const IndexedFrame& frame) {
    encoder_.AddFrame(frame);
    encoder_.TakeBytes(bytes_);
    file_.Write(bytes_.data(), bytes_.size());
}

void MetafileOutput::Commit() {
    file_.Commit();
}
