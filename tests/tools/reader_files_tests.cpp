// The reader's own test files (tests/rm/good and tests/rm/crashers), whose reading is recorded
// in tests/rm/reference.txt: rmtool must say what the viewer's reader says about each.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/rm/rm_test_helpers.h"
#include "tests/tools/tools_test_helpers.h"
#include "tools/rmtool/png_io.h"

namespace fs = std::filesystem;

namespace {

struct Recorded {
    std::string file;
    int frames = 0;
    std::vector<std::pair<std::string, std::string>> sizesAndHashes;  // "24x10", hash
    std::string routine, message, block;                              // empty: no fatal error
};

fs::path ReaderTests() {
    const char* source = std::getenv("KINARO_SOURCE_DIR");
    return fs::path(source != nullptr ? source : ".") / "tests" / "rm";
}

std::vector<Recorded> ReadReference() {
    std::vector<Recorded> all;
    std::ifstream in(ReaderTests() / "reference.txt");
    std::string line;
    // crashers/x.rm: 1 frames 6x3:3e8c... | "GetHeader" Error: Depth ... (block 3)
    const std::regex pattern(
        R"re(^([^:]+): (\d+) frames((?: \d+x\d+:[0-9a-f]+)*)(?: \| "([^"]+)" (.*) \(block (-?\d+)\))?$)re");
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, pattern)) {
            ADD_FAILURE() << "reference line not understood: " << line;
            continue;
        }
        Recorded r;
        r.file = m[1];
        r.frames = std::stoi(m[2]);
        std::string frames = m[3];
        std::regex frame(R"((\d+x\d+):([0-9a-f]+))");
        for (std::sregex_iterator it(frames.begin(), frames.end(), frame), end; it != end; ++it)
            r.sizesAndHashes.emplace_back((*it)[1], (*it)[2]);
        r.routine = m[4];
        r.message = m[5];
        r.block = m[6];
        all.push_back(r);
    }
    return all;
}

TEST(ReaderFiles, CheckInfoAndExportSayWhatTheReaderRecorded) {
    std::vector<Recorded> files = ReadReference();
    ASSERT_GE(files.size(), 20u) << "the reader's reference table is missing";
    for (const Recorded& r : files) {
        SCOPED_TRACE(r.file);
        std::string path = (ReaderTests() / r.file).string();

        ToolRun check = RunTool({"check", path});
        if (!r.routine.empty()) {
            EXPECT_EQ(check.status, 1);
            EXPECT_NE(check.out.find("Fatal error in routine \"" + r.routine + "\"\n" + r.message +
                                     "\nRaster Metafile Block Number = " + r.block + "\n"),
                      std::string::npos)
                << check.out;
        } else if (r.frames == 0) {
            // The reader found no frame and no error; the viewer stops there.
            EXPECT_EQ(check.status, 1);
            EXPECT_NE(check.out.find("Fatal error in routine \"DoImage\"\n"
                                     "Error: File is not in Raster Metafile format\n"),
                      std::string::npos)
                << check.out;
        } else {
            EXPECT_EQ(check.status, 0) << check.err;
            EXPECT_NE(check.out.find(": " + std::to_string(r.frames) + " frame"),
                      std::string::npos);
        }

        ToolRun info = RunTool({"info", "--json", path});
        std::smatch m;
        std::vector<std::string> sizes;
        std::regex size(R"("width": (\d+), "height": (\d+))");
        for (std::sregex_iterator it(info.out.begin(), info.out.end(), size), end; it != end; ++it)
            sizes.push_back((*it)[1].str() + "x" + (*it)[2].str());
        ASSERT_EQ(sizes.size(), r.sizesAndHashes.size()) << info.out;
        for (size_t n = 0; n < sizes.size(); ++n) EXPECT_EQ(sizes[n], r.sizesAndHashes[n].first);

        if (r.frames == 0) continue;
        // The exported pixels are the decoded image array; where rows have no padding, their
        // hash bottom row first is the one recorded.
        std::string dir = MakeTempDir();
        ToolRun exported = RunTool({"export", path, "--png", dir});
        EXPECT_EQ(exported.status, r.routine.empty() ? 0 : 1) << exported.err;
        std::string stem = fs::path(path).stem().string();
        for (int n = 0; n < r.frames; ++n) {
            char name[32];
            snprintf(name, sizeof name, "-%04d.png", n);
            SourcePicture picture = ReadPng(dir + "/" + stem + name);
            const IndexedFrame& f = picture.frame;
            if (f.width % 4 != 0) continue;
            std::vector<uint8_t> bottomUp;
            for (int y = f.height - 1; y >= 0; --y)
                bottomUp.insert(bottomUp.end(), f.pixels.begin() + y * f.width,
                                f.pixels.begin() + (y + 1) * f.width);
            EXPECT_EQ(HashHex(bottomUp.data(), bottomUp.size()), r.sizesAndHashes[n].second)
                << "frame " << n;
        }
    }
}

}  // namespace
