// libFuzzer target: arbitrary bytes as a metafile, read through GetFileImage; then the same
// bytes (after a few that choose the image and the stream) decoded by GetRLE and by the
// decoder it replaced, which must agree on every byte and every error.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/read_metafile.h"
#include "tests/rm/oracle/decoder_comparison.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadMetafileFromMemory(data, size);
    std::vector<uint8_t> stream(data, data + size);
    const DecodeSetup setup = SetupFromBytes(stream);
    const std::string difference = CompareWithOracle(stream, setup);
    if (!difference.empty()) {
        std::fprintf(stderr, "GetRLE and the oracle differ: %s\n", difference.c_str());
        std::abort();
    }
    return 0;
}
