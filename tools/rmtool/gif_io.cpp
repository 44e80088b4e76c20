#include "tools/rmtool/gif_io.h"

#include <gif_lib.h>

#include <algorithm>
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

static GifFileType* AsGif(void* p) {
    return static_cast<GifFileType*>(p);
}

static void CloseGif(void*& gif) {
    if (gif == nullptr) return;
    int ignored = 0;
    DGifCloseFile(AsGif(gif), &ignored);
    gif = nullptr;
}

GifReader::GifReader(const std::string& path) : path_(path) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) ThrowToolError(path + ": cannot read GIF: " + GifError(error));
    gif_ = gif;
    width_ = gif->SWidth;
    height_ = gif->SHeight;
    if (width_ <= 0 || height_ <= 0) {
        CloseGif(gif_);
        ThrowToolError(path + ": GIF with an empty canvas");
    }
    if (uint64_t(width_) * uint64_t(height_) > MaxPicturePixels) {
        CloseGif(gif_);
        ThrowToolError(path + ": picture too large (" + std::to_string(width_) + "x" +
                       std::to_string(height_) + ")");
    }
    canvas_.assign(static_cast<size_t>(width_) * height_, Rgb{0, 0, 0});
    previousDisposal_ = DISPOSAL_UNSPECIFIED;
}

GifReader::~GifReader() {
    CloseGif(gif_);
}

namespace {

[[noreturn]] void ThrowDamaged(const std::string& path, const GifFileType* gif) {
    ThrowToolError(path + ": damaged GIF: " + GifError(gif->Error));
}

// Reads up to the next image's descriptor, taking the graphics control of the extensions
// before it into `control`; false at the end of the file.
bool ReadUpToImage(const std::string& path, GifFileType* gif, GraphicsControlBlock& control) {
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK) ThrowDamaged(path, gif);
        if (type == TERMINATE_RECORD_TYPE) return false;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) != GIF_OK) ThrowDamaged(path, gif);
            if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4)
                DGifExtensionToGCB(block[0], block + 1, &control);
            while (block != nullptr)
                if (DGifGetExtensionNext(gif, &block) != GIF_OK) ThrowDamaged(path, gif);
            continue;
        }
        if (type == IMAGE_DESC_RECORD_TYPE) break;
    }
    if (DGifGetImageDesc(gif) != GIF_OK) ThrowDamaged(path, gif);
    // The reader keeps a record of every image met; only the one being read is needed.
    if (gif->ImageCount > 0) {
        SavedImage& kept = gif->SavedImages[gif->ImageCount - 1];
        if (kept.ImageDesc.ColorMap != nullptr) GifFreeMapObject(kept.ImageDesc.ColorMap);
        kept.ImageDesc.ColorMap = nullptr;
    }
    return true;
}

// The indices of the image whose descriptor was read, rows top first.
void ReadRaster(const std::string& path, GifFileType* gif, std::vector<uint8_t>& raster) {
    const GifImageDesc& rect = gif->Image;
    raster.resize(static_cast<size_t>(rect.Width) * rect.Height);
    // Interlaced images come in four passes of rows.
    static const int passStart[] = {0, 4, 2, 1}, passStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < (rect.Interlace ? 4 : 1); ++pass)
        for (int y = rect.Interlace ? passStart[pass] : 0; y < rect.Height;
             y += rect.Interlace ? passStep[pass] : 1)
            if (DGifGetLine(gif, raster.data() + static_cast<size_t>(y) * rect.Width, rect.Width) !=
                GIF_OK)
                ThrowDamaged(path, gif);
}

Rgb ColourOf(const GifColorType& c) {
    return Rgb{c.Red, c.Green, c.Blue};
}

// What drawing an image on the canvas found.
struct DrawnImage {
    bool transparentUsed = false;
    bool indicesInMap = true;  // no pixel indexes past the end of the colour table
};

// Draws the image `raster` of `rect` with the colours of `map` on the canvas of
// width x height; a transparent index draws nothing, indices past the table draw black.
DrawnImage Draw(const GifImageDesc& rect, const std::vector<uint8_t>& raster,
                const ColorMapObject& map, int transparent, std::vector<Rgb>& canvas, int width,
                int height) {
    Rgb colours[256];
    bool inMap[256];
    for (int i = 0; i < 256; ++i) {
        inMap[i] = i < map.ColorCount;
        colours[i] = inMap[i] ? ColourOf(map.Colors[i]) : Rgb{0, 0, 0};
    }
    DrawnImage drawn;
    const int x0 = std::max(0, -rect.Left), x1 = std::min(rect.Width, width - rect.Left);
    for (int y = 0; y < rect.Height; ++y) {
        const int cy = rect.Top + y;
        const uint8_t* line = raster.data() + static_cast<size_t>(y) * rect.Width;
        if (transparent != NO_TRANSPARENT_COLOR && !drawn.transparentUsed)
            drawn.transparentUsed = memchr(line, transparent, rect.Width) != nullptr;
        if (cy < 0 || cy >= height) continue;
        Rgb* out = canvas.data() + static_cast<size_t>(cy) * width + rect.Left;
        for (int x = x0; x < x1; ++x) {
            const uint8_t index = line[x];
            if (index == transparent) continue;
            drawn.indicesInMap = drawn.indicesInMap && inMap[index];
            out[x] = colours[index];
        }
    }
    return drawn;
}

}  // namespace

// What the previous frame asked to be done with its area before the next one is drawn.
void GifReader::DisposePrevious(int disposal) {
    if (previousDisposal_ == DISPOSE_BACKGROUND) {
        const int* r = previousRect_;
        for (int y = std::max(0, r[1]); y < std::min(height_, r[1] + r[3]); ++y)
            for (int x = std::max(0, r[0]); x < std::min(width_, r[0] + r[2]); ++x)
                canvas_[static_cast<size_t>(y) * width_ + x] = Rgb{0, 0, 0};
    } else if (previousDisposal_ == DISPOSE_PREVIOUS && !saved_.empty()) {
        canvas_ = saved_;
    }
    if (disposal == DISPOSE_PREVIOUS) saved_ = canvas_;
}

bool GifReader::Next(SourcePicture& picture) {
    GifFileType* gif = AsGif(gif_);
    if (gif == nullptr) return false;
    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    if (!ReadUpToImage(path_, gif, control)) {
        CloseGif(gif_);
        if (frames_ == 0) ThrowToolError(path_ + ": GIF without frames");
        return false;
    }
    ++frames_;
    const GifImageDesc rect = gif->Image;
    if (rect.Width <= 0 || rect.Height <= 0 ||
        uint64_t(rect.Width) * uint64_t(rect.Height) > MaxPicturePixels)
        ThrowToolError(path_ + ": frame " + std::to_string(frames_) + " has a bad size");
    ReadRaster(path_, gif, raster_);
    const ColorMapObject* map = rect.ColorMap ? rect.ColorMap : gif->SColorMap;
    if (map == nullptr)
        ThrowToolError(path_ + ": frame " + std::to_string(frames_) + " has no colour table");
    DisposePrevious(control.DisposalMode);
    const DrawnImage drawn =
        Draw(rect, raster_, *map, control.TransparentColor, canvas_, width_, height_);

    const bool covers =
        rect.Left == 0 && rect.Top == 0 && rect.Width == width_ && rect.Height == height_;
    picture = SourcePicture{};
    if (covers && !drawn.transparentUsed && drawn.indicesInMap) {
        picture.indexed = true;
        picture.frame.width = width_;
        picture.frame.height = height_;
        picture.frame.pixels = raster_;
        for (int i = 0; i < map->ColorCount && i < 256; ++i)
            picture.frame.palette.push_back(ColourOf(map->Colors[i]));
    } else {
        picture.width = width_;
        picture.height = height_;
        picture.rgb = canvas_;
    }
    previousDisposal_ = control.DisposalMode;
    const int rectangle[4] = {rect.Left, rect.Top, rect.Width, rect.Height};
    std::copy(rectangle, rectangle + 4, previousRect_);
    return true;
}

uint32_t CountGifFrames(const std::string& path) {
    int error = 0;
    void* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) return 0;
    uint32_t frames = 0;
    GifRecordType type;
    while (DGifGetRecordType(AsGif(gif), &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
        GifByteType* block = nullptr;
        int code = 0;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            // The compressed pixels are passed over block by block, not decoded.
            if (DGifGetImageDesc(AsGif(gif)) != GIF_OK ||
                DGifGetCode(AsGif(gif), &code, &block) != GIF_OK)
                break;
            ++frames;
            while (block != nullptr)
                if (DGifGetCodeNext(AsGif(gif), &block) != GIF_OK) break;
        } else if (type == EXTENSION_RECORD_TYPE) {
            if (DGifGetExtension(AsGif(gif), &code, &block) != GIF_OK) break;
            while (block != nullptr)
                if (DGifGetExtensionNext(AsGif(gif), &block) != GIF_OK) break;
        }
    }
    CloseGif(gif);
    return frames;
}

// giflib's output, into the temporary file. A failed write shows as a short count, which
// giflib reports as its write error.
static int WriteToFile(GifFileType* gif, const GifByteType* bytes, int count) {
    FILE* out = static_cast<AtomicFile*>(gif->UserData)->Stream();
    return static_cast<int>(fwrite(bytes, 1, static_cast<size_t>(count), out));
}

GifWriter::GifWriter(const std::string& path, int32_t width, int32_t height, bool force)
    : path_(path), width_(width), height_(height) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        ThrowToolError(path + ": a GIF cannot be " + std::to_string(width) + "x" +
                       std::to_string(height));
    file_.emplace(path, force);
    int error = 0;
    GifFileType* gif = EGifOpen(&*file_, WriteToFile, &error);
    if (gif == nullptr) ThrowToolError(path + ": cannot write GIF: " + GifError(error));
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
    }
}

void GifWriter::FailWith(const std::string& what, int error) {
    if (gif_ != nullptr) {
        int ignored = 0;
        EGifCloseFile(AsGif(gif_), &ignored);
        gif_ = nullptr;
    }
    ThrowToolError(path_ + ": " + what + ": " +
                   (file_ ? file_->FailureReason(GifError(error)) : GifError(error)));
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
        for (int32_t x = 0; x < width_; ++x) row[x] = source[x] < size ? source[x] : 0;
        if (EGifPutLine(gif, row.data(), width_) != GIF_OK)
            FailWith("cannot write GIF", gif->Error);
    }
}

void GifWriter::Finish() {
    int error = 0;
    GifFileType* gif = AsGif(gif_);
    gif_ = nullptr;
    if (EGifCloseFile(gif, &error) != GIF_OK)
        ThrowToolError(path_ + ": cannot write GIF: " + file_->FailureReason(GifError(error)));
    file_->Commit();
}
