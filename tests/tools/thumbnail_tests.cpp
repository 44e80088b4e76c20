// thumbnail: size, aspect and colours of the reduced first frame, and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/tools/tools_test_helpers.h"
#include "tools/rmtool/png_io.h"
#include "tools/rmtool/viewer_reader.h"

namespace {

// A colour frame with a table of `colours` distinct colours (index 0 black) and noisy pixels.
rmwriter::Frame ColourFrame(int width, int height, int colours, uint32_t seed) {
    rmwriter::Frame f;
    f.header.Width = width;
    f.header.Height = height;
    f.header.ColorFlag = 1;
    f.header.Depth = 8;
    for (int i = 0; i < colours; ++i) {
        f.colors.Red.push_back(static_cast<uint8_t>(i == 0 ? 0 : 40 + i * 53));
        f.colors.Green.push_back(static_cast<uint8_t>(i == 0 ? 0 : 255 - i * 29));
        f.colors.Blue.push_back(static_cast<uint8_t>(i * 97));
    }
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row.push_back(static_cast<uint8_t>((seed >> 16) % colours));
        }
        f.rows.push_back(row);
    }
    return f;
}

std::string SaveFrames(const std::string& dir, const std::vector<rmwriter::Frame>& frames) {
    rmwriter::Metafile file;
    for (const rmwriter::Frame& f : frames) file.AddFrame(f);
    std::string path = dir + "/in.rm";
    EXPECT_TRUE(file.Save(path));
    return path;
}

// The first frame as the reader decodes it, as colours, top row first. The image array
// holds the bottom row first; it is turned here on its own, not through the tool's code.
RgbPicture DecodedFirstFrame(const std::string& path) {
    OpenWithViewer(path, {});
    ScopedImage image;
    RgbPicture picture;
    if (FetchImage(0, image, nullptr, nullptr) != FetchResult::Decoded) {
        ADD_FAILURE() << path << ": first frame does not decode";
        return picture;
    }
    picture.width = image.IW;
    picture.height = image.IH;
    for (int y = image.IH - 1; y >= 0; --y)
        for (int x = 0; x < image.IW; ++x) {
            const LUTEntry& c =
                image.LUT[image.Pixels[static_cast<size_t>(y) * image.ScanLineWidth + x]];
            picture.pixels.push_back(Rgb{c.Red, c.Green, c.Blue});
        }
    return picture;
}

SourcePicture Thumbnail(const std::string& in, const std::string& out,
                        const std::vector<std::string>& options = {}) {
    std::vector<std::string> args{"thumbnail"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(in);
    args.push_back(out);
    ToolRun run = RunTool(args);
    EXPECT_EQ(run.status, 0) << run.err;
    SourcePicture picture = ReadPng(out);
    EXPECT_FALSE(picture.indexed) << "averaged colours need true colour";
    return picture;
}

TEST(Thumbnail, FitsTheBoxKeepingAspectAndNeverEnlarges) {
    struct Case {
        int width, height;
        std::vector<std::string> options;
        int expectWidth, expectHeight;
    } cases[] = {
        {600, 200, {}, 256, 85},          // wide: 200 * 256 / 600 = 85.3
        {45, 120, {"-s", "40"}, 15, 40},  // tall
        {300, 2, {"-s", "100"}, 100, 1},  // a side never drops below one pixel
        {30, 20, {}, 30, 20},             // fits already: kept as it is
    };
    for (const Case& c : cases) {
        std::string dir = MakeTempDir();
        std::string in = SaveFrames(dir, {ColourFrame(c.width, c.height, 6, 7)});
        SourcePicture thumb = Thumbnail(in, dir + "/t.png", c.options);
        EXPECT_EQ(thumb.width, c.expectWidth) << c.width << "x" << c.height;
        EXPECT_EQ(thumb.height, c.expectHeight) << c.width << "x" << c.height;
        if (c.expectWidth == c.width && c.expectHeight == c.height) {
            EXPECT_EQ(thumb.rgb, DecodedFirstFrame(in).pixels) << "a kept size keeps every pixel";
        }
    }
}

// Each output pixel is the average of the source area under it: whole blocks when the
// sizes divide, and fractions of the pixels cut by its edges when they do not.
TEST(Thumbnail, ColoursAreTheAreaAverageOfTheDecodedFrame) {
    struct Case {
        int width, height, box;
    } cases[] = {{64, 32, 16}, {25, 15, 4}};  // 4 x 4 blocks; 6.25 x 7.5 footprints
    for (const Case& c : cases) {
        std::string dir = MakeTempDir();
        // A second frame with other colours must not leak into the first.
        std::string in = SaveFrames(
            dir, {ColourFrame(c.width, c.height, 16, 3), ColourFrame(c.width, c.height, 5, 9)});
        RgbPicture decoded = DecodedFirstFrame(in);
        SourcePicture thumb = Thumbnail(in, dir + "/t.png", {"-s", std::to_string(c.box)});
        ASSERT_EQ(thumb.width, c.box);
        ASSERT_EQ(thumb.height, (2 * c.box * c.height + c.width) / (2 * c.width));
        const double sx = double(c.width) / thumb.width, sy = double(c.height) / thumb.height;
        for (int ty = 0; ty < thumb.height; ++ty)
            for (int tx = 0; tx < thumb.width; ++tx) {
                double sum[3] = {0, 0, 0};
                for (int y = 0; y < c.height; ++y)
                    for (int x = 0; x < c.width; ++x) {
                        // The part of source pixel (x, y) inside the output pixel's footprint.
                        double wx = std::max(
                            0.0, std::min(x + 1.0, (tx + 1) * sx) - std::max(double(x), tx * sx));
                        double wy = std::max(
                            0.0, std::min(y + 1.0, (ty + 1) * sy) - std::max(double(y), ty * sy));
                        const Rgb& p = decoded.pixels[static_cast<size_t>(y) * c.width + x];
                        sum[0] += wx * wy * p.r;
                        sum[1] += wx * wy * p.g;
                        sum[2] += wx * wy * p.b;
                    }
                const Rgb& got = thumb.rgb[static_cast<size_t>(ty) * thumb.width + tx];
                const int channels[3] = {got.r, got.g, got.b};
                for (int k = 0; k < 3; ++k)
                    ASSERT_LE(std::fabs(channels[k] - sum[k] / (sx * sy)), 0.5 + 1e-9)
                        << c.width << "x" << c.height << " pixel " << tx << "," << ty << " channel "
                        << k;
            }
    }
}

TEST(Thumbnail, DamagedFileLeavesNoOutput) {
    std::string dir = MakeTempDir();
    rmwriter::Metafile cut;
    cut.AddFrame(ColourFrame(200, 100, 16, 1));
    cut.Truncate(cut.Bytes().size() - 512);  // the end of the pixel stream is missing
    ASSERT_TRUE(cut.Save(dir + "/cut.rm"));
    rmwriter::Metafile junk;
    junk.AddJunk(4);
    ASSERT_TRUE(junk.Save(dir + "/junk.rm"));
    for (const char* name : {"cut.rm", "junk.rm"}) {
        ToolRun run = RunTool({"thumbnail", dir + "/" + name, dir + "/t.png"});
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_EQ(FolderEntries(dir), (std::vector<std::string>{"cut.rm", "junk.rm"}));

    // Only the first frame counts: damage after it does not matter.
    rmwriter::Metafile later;
    later.AddFrame(ColourFrame(20, 10, 4, 1));
    later.AddFrame(ColourFrame(20, 10, 4, 2));
    later.Truncate(later.Bytes().size() - 512);
    ASSERT_TRUE(later.Save(dir + "/later.rm"));
    EXPECT_EQ(Thumbnail(dir + "/later.rm", dir + "/t.png").width, 20);
}

}  // namespace
