#include "tools/rmtool/png_io.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// libpng reports errors by longjmp; everything that must survive one lives in this record,
// reached through a pointer, so no local of the function that called setjmp is relied on.
struct PngJob {
    std::string error;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int colourType = 0;
    int rowBytes = 0;
    int channels = 0;  // after the transformations: 1 for indices or grey, 3 RGB, 4 RGBA
    std::vector<png_byte> data;
    std::vector<Rgb> rgb;  // the pixels of opaque colour PNGs, in place of data
    std::vector<png_bytep> rows;
    std::vector<png_color> palette;
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    job->error = message ? message : "libpng error";
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

using File = std::unique_ptr<FILE, decltype(&fclose)>;

// The info record that goes with a newly created read or write record.
bool AddInfo(PngJob* job) {
    if (job->png != nullptr) job->info = png_create_info_struct(job->png);
    if (job->info == nullptr) job->error = "cannot start libpng";
    return job->info != nullptr;
}

// Decodes one PNG from `in`, whose first `signatureRead` bytes were already taken. libpng
// reads chunk by chunk and stops right after IEND, so a stream of PNGs can be read in turn.
bool DecodePng(FILE* in, int signatureRead, PngJob* job) {
    job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, OnPngError, OnPngWarning);
    if (!AddInfo(job)) return false;
    if (setjmp(png_jmpbuf(job->png))) return false;
    png_init_io(job->png, in);
    png_set_sig_bytes(job->png, signatureRead);
    png_set_user_limits(job->png, 1u << 24, 1u << 24);
    // Every chunk's CRC is checked already; zlib's own checksum would be a second pass over
    // all the pixels.
    png_set_option(job->png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_read_info(job->png, job->info);
    job->width = png_get_image_width(job->png, job->info);
    job->height = png_get_image_height(job->png, job->info);
    if (uint64_t{job->width} * job->height > MaxPicturePixels) {
        job->error = "picture too large (" + std::to_string(job->width) + "x" +
                     std::to_string(job->height) + ")";
        return false;
    }
    job->colourType = png_get_color_type(job->png, job->info);
    int bitDepth = png_get_bit_depth(job->png, job->info);
    if (bitDepth == 16) png_set_strip_16(job->png);
    if (job->colourType == PNG_COLOR_TYPE_PALETTE) {
        // Keep indices: one byte per pixel, no expansion to colour.
        png_set_packing(job->png);
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(job->png, job->info, &entries, &count) == 0 || count <= 0) {
            job->error = "palette PNG without a palette";
            return false;
        }
        job->palette.assign(entries, entries + count);
    } else if (job->colourType == PNG_COLOR_TYPE_GRAY) {
        if (bitDepth < 8) png_set_expand_gray_1_2_4_to_8(job->png);
    } else {
        // Colour or alpha of any kind: RGB when opaque, else RGBA, 8 bits a channel.
        if (png_get_valid(job->png, job->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(job->png);
        if (!(job->colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(job->png);
    }
    png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);
    job->rowBytes = static_cast<int>(png_get_rowbytes(job->png, job->info));
    job->channels = png_get_channels(job->png, job->info);
    // Opaque colour is decoded straight into the picture, RGB being the layout of Rgb.
    static_assert(sizeof(Rgb) == 3, "RGB rows are decoded into Rgb pixels");
    png_bytep data = nullptr;
    if (job->channels == 3) {
        job->rgb.resize(size_t{job->width} * job->height);
        data = reinterpret_cast<png_bytep>(job->rgb.data());
    } else {
        job->data.resize(static_cast<size_t>(job->rowBytes) * job->height);
        data = job->data.data();
    }
    job->rows.resize(job->height);
    for (png_uint_32 y = 0; y < job->height; ++y)
        job->rows[y] = data + static_cast<size_t>(y) * job->rowBytes;
    png_read_image(job->png, job->rows.data());
    png_read_end(job->png, nullptr);
    return true;
}

// What EncodePng writes: colour indices with the job's palette, or RGB triples.
struct PngPixels {
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* data = nullptr;  // top row first, rows one after another
    bool rgb = false;               // three bytes a pixel; else one index
};

bool EncodePng(FILE* out, const PngPixels* pixels, PngJob* job) {
    job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job, OnPngError, OnPngWarning);
    if (!AddInfo(job)) return false;
    if (setjmp(png_jmpbuf(job->png))) return false;
    png_init_io(job->png, out);
    png_set_IHDR(job->png, job->info, static_cast<png_uint_32>(pixels->width),
                 static_cast<png_uint_32>(pixels->height), 8,
                 pixels->rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (pixels->rgb)
        png_set_sRGB(job->png, job->info, PNG_sRGB_INTENT_PERCEPTUAL);
    else
        png_set_PLTE(job->png, job->info, job->palette.data(),
                     static_cast<int>(job->palette.size()));
    png_write_info(job->png, job->info);
    if (pixels->rgb) {
        // An RGB picture is a thumbnail, small and read once: fast compression over the
        // smallest file (no filters, zlib level 3).
        png_set_filter(job->png, PNG_FILTER_TYPE_BASE, PNG_NO_FILTERS);
        png_set_compression_level(job->png, 3);
    }
    const size_t rowBytes = static_cast<size_t>(pixels->width) * (pixels->rgb ? 3 : 1);
    for (int32_t y = 0; y < pixels->height; ++y)
        png_write_row(job->png, pixels->data + static_cast<size_t>(y) * rowBytes);
    png_write_end(job->png, nullptr);
    return true;
}

// The decoded image as the tool takes it; `name` starts the messages ("FILE" or "stdin:
// frame 3").
SourcePicture PictureFromJob(PngJob& job, const std::string& name) {
    SourcePicture picture;
    const int32_t width = static_cast<int32_t>(job.width);
    const int32_t height = static_cast<int32_t>(job.height);
    if (job.colourType == PNG_COLOR_TYPE_PALETTE || job.colourType == PNG_COLOR_TYPE_GRAY) {
        picture.indexed = true;
        IndexedFrame& frame = picture.frame;
        frame.width = width;
        frame.height = height;
        frame.pixels.resize(static_cast<size_t>(width) * height);
        for (int32_t y = 0; y < height; ++y)
            memcpy(frame.pixels.data() + static_cast<size_t>(y) * width, job.rows[y], width);
        if (job.colourType == PNG_COLOR_TYPE_PALETTE) {
            for (const png_color& c : job.palette)
                frame.palette.push_back(Rgb{c.red, c.green, c.blue});
            for (uint8_t& p : frame.pixels)
                if (p >= frame.palette.size())
                    ThrowToolError(name + ": pixel index " + std::to_string(p) +
                                   " is beyond the palette of " +
                                   std::to_string(frame.palette.size()) + " colours");
        } else {
            for (int v = 0; v < 256; ++v)
                frame.palette.push_back(Rgb{uint8_t(v), uint8_t(v), uint8_t(v)});
        }
        return picture;
    }
    picture.width = width;
    picture.height = height;
    if (job.channels == 3) {
        picture.rgb = std::move(job.rgb);
        return picture;
    }
    picture.rgb.resize(static_cast<size_t>(width) * height);
    for (int32_t y = 0; y < height; ++y) {
        const png_byte* row = job.rows[y];
        for (int32_t x = 0; x < width; ++x) {
            const png_byte* p = row + 4 * x;
            // Over black: the viewer shows every frame on black.
            auto over = [&](int c) { return static_cast<uint8_t>((c * p[3] + 127) / 255); };
            picture.rgb[static_cast<size_t>(y) * width + x] =
                Rgb{over(p[0]), over(p[1]), over(p[2])};
        }
    }
    return picture;
}

const png_byte Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Decodes the PNG whose signature was just read from `in`; an opaque colour picture is
// decoded into the memory of `reuse`. `name` starts the messages.
SourcePicture DecodeAfterSignature(FILE* in, const std::string& name, std::vector<Rgb> reuse) {
    PngJob job;
    job.rgb = std::move(reuse);
    const bool ok = DecodePng(in, sizeof Signature, &job);
    png_destroy_read_struct(&job.png, &job.info, nullptr);
    if (!ok) ThrowToolError(name + ": damaged PNG: " + job.error);
    return PictureFromJob(job, name);
}

// Encodes `pixels` (with `palette` for indices) to `out`; false with the reason in `error`
// when it cannot.
bool Encode(FILE* out, const PngPixels& pixels, const std::vector<Rgb>& palette,
            std::string& error) {
    PngJob job;
    for (const Rgb& c : palette) job.palette.push_back(png_color{c.r, c.g, c.b});
    bool ok = EncodePng(out, &pixels, &job);
    png_destroy_write_struct(&job.png, &job.info);
    error = job.error;
    return ok;
}

PngPixels PixelsOf(const IndexedFrame& frame) {
    return PngPixels{frame.width, frame.height, frame.pixels.data(), false};
}

// Writes `pixels` to the file `path` through a temporary file.
void WriteFile(const std::string& path, bool force, const PngPixels& pixels,
               const std::vector<Rgb>& palette) {
    AtomicFile file(path, force);
    std::string error;
    if (!Encode(file.Stream(), pixels, palette, error))
        ThrowToolError(path + ": cannot write PNG: " + file.FailureReason(error));
    file.Commit();
}

}  // namespace

bool LooksLikePng(const std::string& path) {
    png_byte head[sizeof Signature] = {};
    FILE* in = fopen(path.c_str(), "rb");
    if (in == nullptr) return false;
    size_t got = fread(head, 1, sizeof head, in);
    fclose(in);
    return got == sizeof head && memcmp(head, Signature, sizeof head) == 0;
}

SourcePicture ReadPng(const std::string& path) {
    File in(fopen(path.c_str(), "rb"), fclose);
    if (!in) ThrowToolError(path + ": cannot open: " + strerror(errno));
    png_byte signature[sizeof Signature];
    if (fread(signature, 1, sizeof signature, in.get()) != sizeof signature ||
        memcmp(signature, Signature, sizeof signature) != 0)
        ThrowToolError(path + ": not a PNG file");
    return DecodeAfterSignature(in.get(), path, {});
}

bool PngStreamReader::Next(SourcePicture& picture) {
    png_byte signature[8];
    size_t got = fread(signature, 1, sizeof signature, in_);
    if (got == 0 && feof(in_)) return false;
    const std::string name = name_ + ": frame " + std::to_string(++frames_);
    if (got < sizeof signature) {
        if (ferror(in_)) ThrowToolError(name + ": cannot read: " + strerror(errno));
        ThrowToolError(name + ": the stream ends inside a PNG signature");
    }
    if (memcmp(signature, Signature, sizeof signature) != 0) ThrowToolError(name + ": not a PNG");
    picture = DecodeAfterSignature(in_, name, std::move(picture.rgb));
    return true;
}

void WriteRgbPng(const std::string& path, int32_t width, int32_t height,
                 const std::vector<uint8_t>& rgb, bool force) {
    WriteFile(path, force, PngPixels{width, height, rgb.data(), true}, {});
}

void WritePng(const std::string& path, const IndexedFrame& frame, bool force) {
    WriteFile(path, force, PixelsOf(frame), frame.palette);
}

void WritePngToStream(FILE* out, const IndexedFrame& frame, const std::string& name) {
    std::string error;
    errno = 0;
    if (!Encode(out, PixelsOf(frame), frame.palette, error) || fflush(out) != 0)
        ThrowToolError(name + ": cannot write PNG: " +
                       (ferror(out) && errno != 0 ? strerror(errno)
                        : error.empty()           ? "write failed"
                                                  : error));
}
