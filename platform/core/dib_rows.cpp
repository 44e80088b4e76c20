#include "platform/core/dib_rows.h"

void ConvertDibRow(const uint8_t* source, const uint32_t* table, uint32_t* destination,
                   size_t count) {
    for (size_t i = 0; i < count; ++i) destination[i] = table[source[i]];
}
