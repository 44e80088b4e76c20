#include "platform/core/dib_rows.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little,
              "indices are taken from a little-endian word");

// Eight pixels a step, read as one 64-bit word: one load for eight indices and eight
// independent table loads, which keeps the load ports busy (a table lookup does not
// vectorise without gathers, and gathers are slower than this on the machines we run on).
void ConvertDibRow(const uint8_t* source, const uint32_t* table, uint32_t* destination,
                   size_t count) {
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t v;
        std::memcpy(&v, source + i, 8);
        uint32_t* d = destination + i;
        d[0] = table[v & 0xFF];
        d[1] = table[(v >> 8) & 0xFF];
        d[2] = table[(v >> 16) & 0xFF];
        d[3] = table[(v >> 24) & 0xFF];
        d[4] = table[(v >> 32) & 0xFF];
        d[5] = table[(v >> 40) & 0xFF];
        d[6] = table[(v >> 48) & 0xFF];
        d[7] = table[v >> 56];
    }
    for (; i < count; ++i) destination[i] = table[source[i]];
}
