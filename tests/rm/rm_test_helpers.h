// Shared ground for the reader's tests: files made with rmwriter, opened as the metafile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/viewer_state.h"
#include "tests/support/test_support.h"
#include "tools/rmwriter/rmwriter.h"

// Saves `file` to a temporary path and opens it as MetafileStream; returns the path.
std::string OpenMetafile(const rmwriter::Metafile& file, const std::string& name = "t.rm");

// FileImageNumber = first, first + skip, ... below MaxFrames; all-ones after.
void SelectFrames(uint32_t first = 0, uint32_t skip = 1);

// A frame of `width` x `height` whose pixels follow a pattern seeded by `seed`, with runs,
// fills and literal pixels; grey ramp LUT of `depth`.
rmwriter::Frame PatternFrame(int width, int height, int seed, int depth = 8);

// The image array a correct decoder makes from `frame` (rows bottom first, `scanLineWidth`
// apart), over an array that held `initial` bytes (zeros when empty).
std::vector<uint8_t> ExpectedArray(const rmwriter::Frame& frame, int scanLineWidth,
                                   std::vector<uint8_t> initial = {});

std::vector<uint8_t> ArrayOf(const Image& image);

// Runs `action`, which must end with a fatal error; returns the text of the error box.
template <typename Action>
std::string FatalText(Action action);

// The text of the last message box shown, or "" when none was.
std::string LastBoxText();

// Frames read into one image placed in a 100 x 100 window; every case starts empty.
class ReaderTest : public ViewerTest {
   protected:
    void SetUp() override {
        ViewerTest::SetUp();
        FreeImage(image);  // a case run again from the same test starts empty
        State.WW = State.WH = 100;
        State.WR = State.WB = 99;
    }
    ScopedImage image;
};

// A log captured in memory: LogLevel set to `level`, LogFile a memory stream.
class CapturedLog {
   public:
    explicit CapturedLog(int level);
    ~CapturedLog();
    std::string Text();  // everything written so far
   private:
    char* buffer_ = nullptr;
    size_t size_ = 0;
    FILE* stream_ = nullptr;
};

// 64-bit FNV-1a, printed as 16 hex digits.
std::string HashHex(const uint8_t* data, size_t size);

// What reading every frame of a file gives: one line of the reference table.
std::string SummariseFile(const std::string& path);

template <typename Action>
std::string FatalText(Action action) {
    int status = ExpectProcessEnd(action);
    EXPECT_EQ(status, -1);
    return LastBoxText();
}
