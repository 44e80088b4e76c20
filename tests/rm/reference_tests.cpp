// The committed test files and what reading each gives. To accept a change on purpose, run
//   KINARO_UPDATE_REFERENCE=1 rm_tests --gtest_filter='Reference*'
// and review tests/rm/reference.txt and the files in git diff.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/rm/rm_test_helpers.h"
#include "tests/rm/sample_files.h"

namespace fs = std::filesystem;

namespace {

fs::path TestsDir() {
    const char* source = std::getenv("KINARO_SOURCE_DIR");
    return fs::path(source != nullptr ? source : ".") / "tests" / "rm";
}

bool Updating() {
    const char* update = std::getenv("KINARO_UPDATE_REFERENCE");
    return update != nullptr && *update != '\0' && *update != '0';
}

// Every file in good/ and crashers/, sorted, relative to tests/rm.
std::vector<std::string> CommittedFiles() {
    std::vector<std::string> files;
    for (const char* folder : {"good", "crashers"}) {
        fs::path dir = TestsDir() / folder;
        if (!fs::exists(dir)) continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file())
                files.push_back(std::string(folder) + "/" + entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(ReferenceTest, CommittedSampleFilesAreWhatTheWriterMakes) {
    for (const SampleFile& sample : SampleFiles()) {
        fs::path path = TestsDir() / sample.path;
        if (Updating()) {
            fs::create_directories(path.parent_path());
            ASSERT_TRUE(sample.file.Save(path.string()));
        }
        std::string bytes = ReadWholeFile(path.string());
        EXPECT_TRUE(bytes == std::string(sample.file.Bytes().begin(), sample.file.Bytes().end()))
            << sample.path << " differs from what the writer makes";
    }
}

TEST(ReferenceTest, EveryFileReadsAsRecorded) {
    std::string table;
    for (const std::string& file : CommittedFiles())
        table += file + ": " + SummariseFile((TestsDir() / file).string()) + "\n";
    fs::path reference = TestsDir() / "reference.txt";
    if (Updating()) std::ofstream(reference, std::ios::binary) << table;
    EXPECT_EQ(ReadWholeFile(reference.string()), table);
}
