// Replays files (or every file of folders) through the reader, as the fuzz target does.
// Used by the tests over the crash files and the corpus; a crash or a sanitizer report ends
// the run with a failure.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/read_metafile.h"

namespace fs = std::filesystem;

static bool Replay(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    MetafileReading reading = ReadMetafileFromMemory(bytes.data(), bytes.size());
    std::printf("%s: %d frames", file.c_str(), reading.frames);
    if (reading.fatal)
        std::printf(" | \"%s\" %s (block %d)", reading.fatal->routine.c_str(),
                    reading.fatal->text.c_str(), static_cast<int>(reading.fatal->blockNumber));
    std::printf("\n");
    return true;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: rm_replay FILE-OR-FOLDER...\n");
        return 2;
    }
    int files = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        fs::path arg = argv[i];
        if (fs::is_directory(arg)) {
            std::vector<fs::path> entries;
            for (const auto& e : fs::directory_iterator(arg))
                if (e.is_regular_file()) entries.push_back(e.path());
            std::sort(entries.begin(), entries.end());
            for (const auto& e : entries) ok = Replay(e) && ok, ++files;
        } else {
            ok = Replay(arg) && ok;
            ++files;
        }
    }
    std::printf("%d files replayed\n", files);
    return ok && files > 0 ? 0 : 1;
}
