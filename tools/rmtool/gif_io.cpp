#include "tools/rmtool/gif_io.h"

#include <gif_lib.h>

#include <cstdio>
#include <cstring>
#include <memory>

bool LooksLikeGif(const std::string& path) {
    char signature[6] = {};
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    size_t got = fread(signature, 1, sizeof signature, in);
    fclose(in);
    return got == sizeof signature && memcmp(signature, "GIF8", 4) == 0;
}

static std::string GifError(int error) {
    const char* text = GifErrorString(error);
    return text ? text : "GIF error " + std::to_string(error);
}

std::vector<SourcePicture> ReadGif(const std::string& path) {
    int error = 0;
    GifFileType* raw = DGifOpenFileName(path.c_str(), &error);
    if (raw == nullptr) Fail(path + ": cannot read GIF: " + GifError(error));
    auto close = [](GifFileType* gif) {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    };
    std::unique_ptr<GifFileType, decltype(close)> gif(raw, close);
    const int width = gif->SWidth;
    const int height = gif->SHeight;
    if (width <= 0 || height <= 0) Fail(path + ": GIF with an empty canvas");
    if (uint64_t(width) * uint64_t(height) > MaxPicturePixels)
        Fail(path + ": picture too large (" + std::to_string(width) + "x" +
             std::to_string(height) + ")");
    if (DGifSlurp(gif.get()) != GIF_OK) Fail(path + ": damaged GIF: " + GifError(gif->Error));
    if (gif->ImageCount <= 0) Fail(path + ": GIF without frames");

    const size_t area = static_cast<size_t>(width) * height;
    std::vector<Rgb> canvas(area, Rgb{0, 0, 0});
    std::vector<Rgb> saved;
    std::vector<SourcePicture> pictures;
    int previousDisposal = DISPOSAL_UNSPECIFIED;
    GifImageDesc previousRect{};

    for (int n = 0; n < gif->ImageCount; ++n) {
        // What the previous frame asked to be done with its area before this one is drawn.
        if (previousDisposal == DISPOSE_BACKGROUND) {
            for (int y = std::max(0, previousRect.Top);
                 y < std::min(height, previousRect.Top + previousRect.Height); ++y)
                for (int x = std::max(0, previousRect.Left);
                     x < std::min(width, previousRect.Left + previousRect.Width); ++x)
                    canvas[static_cast<size_t>(y) * width + x] = Rgb{0, 0, 0};
        } else if (previousDisposal == DISPOSE_PREVIOUS && !saved.empty()) {
            canvas = saved;
        }

        const SavedImage& image = gif->SavedImages[n];
        const GifImageDesc& rect = image.ImageDesc;
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        DGifSavedExtensionToGCB(gif.get(), n, &control);
        const ColorMapObject* map = rect.ColorMap ? rect.ColorMap : gif->SColorMap;
        if (map == nullptr) Fail(path + ": frame " + std::to_string(n + 1) + " has no colour table");
        if (control.DisposalMode == DISPOSE_PREVIOUS) saved = canvas;

        bool covers = rect.Left == 0 && rect.Top == 0 && rect.Width == width &&
                      rect.Height == height;
        bool transparentUsed = false;
        for (int y = 0; y < rect.Height; ++y) {
            int cy = rect.Top + y;
            for (int x = 0; x < rect.Width; ++x) {
                int cx = rect.Left + x;
                uint8_t index = image.RasterBits[static_cast<size_t>(y) * rect.Width + x];
                if (index == control.TransparentColor) {
                    transparentUsed = true;
                    continue;
                }
                if (cx < 0 || cx >= width || cy < 0 || cy >= height) continue;
                Rgb colour{0, 0, 0};
                if (index < map->ColorCount)
                    colour = Rgb{map->Colors[index].Red, map->Colors[index].Green,
                                 map->Colors[index].Blue};
                canvas[static_cast<size_t>(cy) * width + cx] = colour;
            }
        }

        SourcePicture picture;
        bool indicesInMap = true;
        if (covers && !transparentUsed) {
            for (size_t i = 0; i < area && indicesInMap; ++i)
                indicesInMap = image.RasterBits[i] < map->ColorCount;
        }
        if (covers && !transparentUsed && indicesInMap) {
            picture.indexed = true;
            picture.frame.width = width;
            picture.frame.height = height;
            picture.frame.pixels.assign(image.RasterBits, image.RasterBits + area);
            for (int i = 0; i < map->ColorCount && i < 256; ++i)
                picture.frame.palette.push_back(
                    Rgb{map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
        } else {
            picture.width = width;
            picture.height = height;
            picture.rgb = canvas;
        }
        pictures.push_back(std::move(picture));
        previousDisposal = control.DisposalMode;
        previousRect = rect;
    }
    return pictures;
}

static GifFileType* AsGif(void* p) { return static_cast<GifFileType*>(p); }

GifWriter::GifWriter(const std::string& path, int32_t width, int32_t height, bool force)
    : path_(path), force_(force), width_(width), height_(height) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        Fail(path + ": a GIF cannot be " + std::to_string(width) + "x" + std::to_string(height));
    temp_ = BeginAtomicWrite(path, force);
    int error = 0;
    GifFileType* gif = EGifOpenFileName(temp_.c_str(), false, &error);
    if (gif == nullptr) {
        AbandonAtomicWrite(temp_);
        Fail(path + ": cannot write GIF: " + GifError(error));
    }
    gif_ = gif;
    EGifSetGifVersion(gif, true);
    if (EGifPutScreenDesc(gif, width, height, 8, 0, nullptr) != GIF_OK)
        FailWith("cannot write GIF", gif->Error);
    // Loop forever, as the viewer's loop mode does.
    static const unsigned char application[] = "NETSCAPE2.0";
    static const unsigned char loop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) != GIF_OK ||
        EGifPutExtensionBlock(gif, 11, application) != GIF_OK ||
        EGifPutExtensionBlock(gif, 3, loop) != GIF_OK || EGifPutExtensionTrailer(gif) != GIF_OK)
        FailWith("cannot write GIF", gif->Error);
}

GifWriter::~GifWriter() {
    if (gif_ != nullptr) {
        int ignored = 0;
        EGifCloseFile(AsGif(gif_), &ignored);
        gif_ = nullptr;
        AbandonAtomicWrite(temp_);
    }
}

void GifWriter::FailWith(const std::string& what, int error) {
    if (gif_ != nullptr) {
        int ignored = 0;
        EGifCloseFile(AsGif(gif_), &ignored);
        gif_ = nullptr;
    }
    AbandonAtomicWrite(temp_);
    Fail(path_ + ": " + what + ": " + GifError(error));
}

void GifWriter::AddFrame(const IndexedFrame& frame, int delayCentiseconds) {
    GifFileType* gif = AsGif(gif_);
    GraphicsControlBlock control{DISPOSE_DO_NOT, false, delayCentiseconds, NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK)
        FailWith("cannot write GIF", gif->Error);

    // A GIF colour table has a power of two entries, at least 2.
    int size = 2;
    while (size < static_cast<int>(frame.palette.size())) size *= 2;
    std::vector<GifColorType> colours(size, GifColorType{0, 0, 0});
    for (size_t i = 0; i < frame.palette.size(); ++i)
        colours[i] = GifColorType{frame.palette[i].r, frame.palette[i].g, frame.palette[i].b};
    ColorMapObject* map = GifMakeMapObject(size, colours.data());
    if (map == nullptr) FailWith("cannot write GIF", E_GIF_ERR_NOT_ENOUGH_MEM);
    int status = EGifPutImageDesc(gif, 0, 0, width_, height_, false, map);
    GifFreeMapObject(map);
    if (status != GIF_OK) FailWith("cannot write GIF", gif->Error);

    std::vector<GifPixelType> row(static_cast<size_t>(width_));
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* source = frame.pixels.data() + static_cast<size_t>(y) * width_;
        for (int32_t x = 0; x < width_; ++x)
            row[x] = source[x] < size ? source[x] : 0;
        if (EGifPutLine(gif, row.data(), width_) != GIF_OK) FailWith("cannot write GIF", gif->Error);
    }
}

void GifWriter::Finish() {
    int error = 0;
    GifFileType* gif = AsGif(gif_);
    gif_ = nullptr;
    if (EGifCloseFile(gif, &error) != GIF_OK) {
        AbandonAtomicWrite(temp_);
        Fail(path_ + ": cannot write GIF: " + GifError(error));
    }
    CommitAtomicWrite(temp_, path_, force_);
}
