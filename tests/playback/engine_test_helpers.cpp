#include "tests/playback/engine_test_helpers.h"

#include <cstdlib>

#include "display/window.h"
#include "display/window_proc.h"
#include "platform/headless/headless_control.h"
#include "playback/controller.h"
#include "playback/image_list.h"
#include "playback/input_mapping.h"
#include "tests/rm/rm_test_helpers.h"

rmwriter::Frame ColourFrame(int width, int height, int seed) {
    rmwriter::Frame f = PatternFrame(width, height, seed);
    f.header.ColorFlag = 1;
    f.colors = rmwriter::ColorTable{};
    for (int i = 0; i < 256; ++i) {
        f.colors.Red.push_back(static_cast<uint8_t>(i * 3 + seed * 41));
        f.colors.Green.push_back(static_cast<uint8_t>(255 - i + seed * 17));
        f.colors.Blue.push_back(static_cast<uint8_t>(i * 5 + seed * 29));
    }
    return f;
}

void StartViewer(const std::vector<rmwriter::Frame>& frames, bool buffered) {
    rmwriter::Metafile file;
    for (const auto& f : frames) file.AddFrame(f);
    if (frames.empty()) file.AddJunk(2);  // blocks, but not one frame
    OpenMetafile(file, "movie.rm");
    SelectFrames();
    std::free(State.ImageList);
    State.ImageList = static_cast<Image*>(std::calloc(State.MaxFrames, sizeof(Image)));
    ASSERT_NE(State.ImageList, nullptr);
    State.CmdShow = SW_SHOWDEFAULT;  // what process start-up hands the main routine
    ASSERT_EQ(StartUpGraphics(), 1);
    InitImage(State.DisplayImage);
    if (buffered) {
        State.BufferCount = State.MaxFrames;
        State.TotalImages = static_cast<uint32_t>(
            FillImageList(State.ImageList, static_cast<int32_t>(State.BufferCount)));
    } else {
        State.TotalImages = AllOnes;
    }
}

std::vector<uint32_t> ClientSurface() {
    const core::WindowRecord* w = core::AnyWindow(State.MainWindow);
    if (w == nullptr || w->Pixels.Pixels == nullptr) return {};
    const core::Surface& s = w->Pixels;
    return {s.Pixels, s.Pixels + static_cast<size_t>(s.Width) * s.Height};
}

const core::PaletteRecord& ViewerPalette() {
    static const core::PaletteRecord none;
    const auto* palette = core::Find<core::PaletteRecord>(State.Palette);
    return palette != nullptr ? *palette : none;
}

bool AnimationTimerRuns() {
    for (const core::Timer& t : core::Timers())
        if (t.Window == State.MainWindow && t.Id == AnimationTimerId) return true;
    return false;
}

uint32_t ColourOf(const rmwriter::Frame& frame, uint8_t index) {
    if (index == 0) return 0;
    auto at = [index](const std::vector<uint8_t>& v) -> uint32_t {
        return index < v.size() ? v[index] : 0;
    };
    const rmwriter::ColorTable& c = frame.colors;
    uint32_t r = at(c.Red);
    uint32_t g = frame.header.ColorFlag ? at(c.Green) : r;
    uint32_t b = frame.header.ColorFlag ? at(c.Blue) : r;
    return r << 16 | g << 8 | b;
}

std::vector<uint32_t> ExpectedSurface(const rmwriter::Frame& frame,
                                      const rmwriter::ColorTable* colours) {
    const core::WindowRecord* window = core::AnyWindow(State.MainWindow);
    if (window == nullptr) return {};
    rmwriter::Frame through = frame;
    if (colours != nullptr) through.colors = *colours;
    const int w = window->ClientWidth, h = window->ClientHeight;
    const int iw = frame.header.Width, ih = frame.header.Height;
    const int left = (w - iw) / 2, top = (h - ih) / 2;
    std::vector<uint32_t> surface(static_cast<size_t>(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            int fx = x - left, fy = y - top;
            if (fx < 0 || fy < 0 || fx >= iw || fy >= ih) continue;
            surface[static_cast<size_t>(y) * w + x] = ColourOf(through, frame.rows[fy][fx]);
        }
    }
    return surface;
}

static PlaybackCommand Send(UINT message, WPARAM wParam) {
    State.EventMessage = message;
    State.EventWParam = wParam;
    State.EventLParam = 0;
    PlaybackCommand command = GetEvent();
    if (command != CmdQuit && command != CmdNone) DoImage(command);
    return command;
}

PlaybackCommand Key(char key) {
    return Send(WM_CHAR, static_cast<unsigned char>(key));
}
PlaybackCommand Menu(int id) {
    return Send(WM_COMMAND, static_cast<WPARAM>(id));
}
PlaybackCommand Mouse(UINT message) {
    return Send(message, 0);
}

void Tick() {
    DoImage(State.Mode);
}
