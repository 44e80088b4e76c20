// libFuzzer target: arbitrary bytes as a metafile, read through GetFileImage.
#include <cstddef>
#include <cstdint>

#include "fuzz/read_metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadMetafileFromMemory(data, size);
    return 0;
}
