#include "tests/tools/tools_test_helpers.h"

#include <fcntl.h>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/test_support.h"

extern char** environ;

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input) {
    static int serial = 0;
    std::string outPath = TempPath("run-out-" + std::to_string(++serial));
    std::string errPath = TempPath("run-err-" + std::to_string(serial));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<std::string> all{RMTOOL_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ToolRun run;
    if (posix_spawn(&pid, RMTOOL_PATH, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        struct rusage usage {};
        wait4(pid, &status, 0, &usage);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        run.peakResidentKb = usage.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadWholeFile(outPath);
    run.err = ReadWholeFile(errPath);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    return run;
}

int RunShell(const std::string& command) {
    std::string script = "RMTOOL='" RMTOOL_PATH "'; " + command;
    int status = std::system(script.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
}

std::string MakeTempDir() {
    static std::vector<std::string> made;
    static bool registered = false;
    if (!registered) {
        registered = true;
        std::atexit([] {
            for (const auto& d : made) std::filesystem::remove_all(d);
        });
    }
    std::string dir = TempPath("dir-" + std::to_string(made.size())) + "-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) ADD_FAILURE() << "cannot make a temporary folder";
    made.push_back(dir);
    return dir;
}

std::vector<std::string> FolderEntries(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

IndexedFrame PatternedFrame(int width, int height, int colours, int seed) {
    IndexedFrame frame;
    frame.width = width;
    frame.height = height;
    frame.palette.push_back(Rgb{0, 0, 0});
    for (int i = 1; i < colours; ++i)
        frame.palette.push_back(
            Rgb{uint8_t(i * 37 + seed), uint8_t(255 - i), uint8_t(i * 11 + 3 * seed)});
    frame.pixels.resize(static_cast<size_t>(width) * height);
    uint32_t state = 12345u + static_cast<uint32_t>(seed) * 7919u;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t v;
            if (x < width / 3) {
                v = static_cast<uint8_t>((y / 3 + seed) % colours);  // runs
            } else if (x < width / 2) {
                v = static_cast<uint8_t>(1 % colours);  // a wide band of one colour
            } else {
                state = state * 1103515245u + 12345u;  // noise: literals
                v = static_cast<uint8_t>((state >> 16) % colours);
            }
            frame.pixels[static_cast<size_t>(y) * width + x] = v;
        }
    }
    return frame;
}

std::vector<RgbPicture> DecodeGifFrames(const std::string& path, std::vector<int>* delays) {
    std::vector<RgbPicture> frames;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) {
        ADD_FAILURE() << path << ": cannot open GIF";
        return frames;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << path << ": cannot read GIF";
        DGifCloseFile(gif, &error);
        return frames;
    }
    RgbPicture canvas{gif->SWidth, gif->SHeight,
                      std::vector<Rgb>(static_cast<size_t>(gif->SWidth) * gif->SHeight)};
    for (int n = 0; n < gif->ImageCount; ++n) {
        const SavedImage& image = gif->SavedImages[n];
        GraphicsControlBlock control{0, false, 0, NO_TRANSPARENT_COLOR};
        DGifSavedExtensionToGCB(gif, n, &control);
        if (delays) delays->push_back(control.DelayTime);
        const ColorMapObject* map =
            image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        const GifImageDesc& d = image.ImageDesc;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                int index = image.RasterBits[y * d.Width + x];
                if (index == control.TransparentColor) continue;
                const GifColorType& c = map->Colors[index];
                canvas.pixels[static_cast<size_t>(d.Top + y) * canvas.width + d.Left + x] =
                    Rgb{c.Red, c.Green, c.Blue};
            }
        frames.push_back(canvas);
    }
    DGifCloseFile(gif, &error);
    return frames;
}

RgbPicture ColoursOf(const IndexedFrame& frame) {
    RgbPicture picture{frame.width, frame.height, {}};
    for (uint8_t p : frame.pixels) picture.pixels.push_back(frame.palette.at(p));
    return picture;
}

double MeanChannelError(const std::vector<Rgb>& rgb, const IndexedFrame& frame) {
    EXPECT_EQ(frame.pixels.size(), rgb.size());
    double error = 0;
    for (size_t i = 0; i < rgb.size() && i < frame.pixels.size(); ++i) {
        const Rgb& c = frame.palette.at(frame.pixels[i]);
        error += std::abs(c.r - rgb[i].r) + std::abs(c.g - rgb[i].g) + std::abs(c.b - rgb[i].b);
    }
    return rgb.empty() ? 0 : error / (3.0 * rgb.size());
}

void WriteRgbPng(const std::string& path, const RgbPicture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, picture.pixels.data(), 0, nullptr))
        ADD_FAILURE() << path << ": " << image.message;
}
