// Files past 2 and 4 GB, and the end of the block counter at 1 TiB. The files are sparse:
// frames written at far offsets with holes between, so they take almost no disk. Each is
// unlinked as soon as it is open.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "playback/image_list.h"
#include "rm/frame_locator.h"
#include "tests/rm/rm_test_helpers.h"

using rmwriter::Frame;
using rmwriter::Metafile;

namespace {

class LargeFileTest : public ReaderTest {
   protected:
    void TearDown() override {
        if (State.MetafileStream != nullptr) std::fclose(State.MetafileStream);
        State.MetafileStream = nullptr;
        for (Image& entry : list) FreeImage(entry);
    }
    // A file of `size` bytes with `pieces` written at their offsets, opened as the metafile
    // and already unlinked. False (test skipped) where holes take real disk.
    bool OpenSparse(int64_t size, const std::vector<std::pair<int64_t, Metafile>>& pieces) {
        std::string path = TempPath("sparse.rm");
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        EXPECT_GE(fd, 0);
        bool ok = ftruncate(fd, size) == 0;
        for (const auto& [offset, file] : pieces)
            ok = ok && pwrite(fd, file.Bytes().data(), file.Bytes().size(), offset) ==
                           static_cast<ssize_t>(file.Bytes().size());
        struct stat info {};
        fstat(fd, &info);
        close(fd);
        State.MetafileStream = std::fopen(path.c_str(), "rb");
        unlink(path.c_str());
        // Gigabytes of holes are read block by block; a large buffer keeps that quick.
        if (State.MetafileStream != nullptr)
            setvbuf(State.MetafileStream, nullptr, _IOFBF, 1 << 20);
        EXPECT_TRUE(ok && State.MetafileStream != nullptr);
        return int64_t{info.st_blocks} * 512 < (int64_t{1} << 24);
    }
    void ExpectFrame(const Image& got, const Frame& frame) {
        EXPECT_EQ(got.IW, frame.header.Width);
        EXPECT_EQ(ArrayOf(got), ExpectedArray(frame, got.ScanLineWidth));
    }
    std::vector<Image> list;  // the image list of a buffered read
};

constexpr int64_t GB = int64_t{1} << 30;

TEST_F(LargeFileTest, FramesPastTwoAndFourGigabytesReadBufferedAndBySeekingBack) {
    // Offsets a 32-bit position gets wrong: past 2^31 (negative) and past 2^32 (wraps).
    const int64_t offsets[] = {0, 2 * GB + 3 * BlockSize, 4 * GB + 7 * BlockSize};
    std::vector<Frame> frames;
    std::vector<std::pair<int64_t, Metafile>> pieces;
    for (int i = 0; i < 3; ++i) {
        frames.push_back(PatternFrame(9 + i, 5, i));
        Metafile m;
        m.AddFrame(frames.back());
        pieces.emplace_back(offsets[i], m);
    }
    const int64_t size =
        offsets[2] + static_cast<int64_t>(pieces[2].second.Bytes().size()) + BlockSize;
    if (!OpenSparse(size, pieces)) GTEST_SKIP() << "this file system has no sparse files";
    SelectFrames();

    // Buffered: every frame read forward into the list, through the holes.
    list.assign(State.MaxFrames, Image{});
    ASSERT_EQ(FillImageList(list.data(), static_cast<int32_t>(State.MaxFrames)), 2);
    for (int i = 0; i < 3; ++i) {
        ExpectFrame(list[i], frames[i]);
        EXPECT_EQ(State.ImageFilePositions[i], offsets[i]);
    }
    // Unbuffered, back and forth: each frame found again by seeking to its position.
    for (uint32_t i : {1u, 0u, 2u}) {
        ASSERT_EQ(GetFileImage(image, i), static_cast<int32_t>(i));
        ExpectFrame(image, frames[i]);
        EXPECT_EQ(State.BlockNumber, offsets[i] / BlockSize + 2);  // header, LUT, stream
    }
    EXPECT_EQ(GetFileImage(image, 3), -1);
}

TEST_F(LargeFileTest, TheBlockCounterEndsAtOneTerabyte) {
    // The last block the counter can name is 2^31 - 1, ending at byte 2^40. The stream is set
    // just before it, as if everything before had been read.
    const int64_t limit = int64_t{1} << 40;
    for (int64_t extra : {int64_t{0}, int64_t{100}, int64_t{BlockSize}}) {
        ResetViewer();
        SetUp();
        SelectFrames();
        if (!OpenSparse(limit + extra, {})) GTEST_SKIP();
        ASSERT_EQ(fseeko(State.MetafileStream, limit - BlockSize, SEEK_SET), 0);
        State.BlockNumber = LastBlockNumber - 1;
        if (extra < BlockSize) {
            // The file ends there, or with a short tail the reader never uses.
            EXPECT_EQ(GetFileImage(image, 0), -1) << extra;
        } else {
            EXPECT_EQ(FatalText([&] { GetFileImage(image, 0); }),
                      "Error: Raster Metafile beyond 1 TB (block 2147483648) not supported");
        }
        EXPECT_EQ(State.BlockNumber, LastBlockNumber);
        EXPECT_EQ(State.LastFileImage, -1);
        TearDown();
    }
}

}  // namespace
