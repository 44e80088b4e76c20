// The bitmap row conversion against the plain table loop, for every short width and source
// alignment (the unrolled body and its tail), and that it writes nothing past `count`.
#include <gtest/gtest.h>

#include <vector>

#include "platform/core/dib_rows.h"

TEST(DibRows, MatchesThePlainLoopForOddWidthsAndOffsets) {
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) table[i] = (i * 0x9E3779B1u) & 0xFFFFFF;
    std::vector<uint8_t> source(64);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(255 - i * 37);
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t count = 0; count <= 41; ++count) {
            std::vector<uint32_t> got(count + 2, 0xDEADBEEF), want(count + 2, 0xDEADBEEF);
            for (size_t i = 0; i < count; ++i) want[i] = table[source[offset + i]];
            ConvertDibRow(source.data() + offset, table, got.data(), count);
            EXPECT_EQ(got, want) << "offset " << offset << " count " << count;
        }
    }
}
