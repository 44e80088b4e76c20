// One row of an 8-bit bitmap through its colour table into 32-bit surface words.
#pragma once
#include <cstddef>
#include <cstdint>

// destination[i] = table[source[i]] for i < count. table holds 256 surface words.
void ConvertDibRow(const uint8_t* source, const uint32_t* table, uint32_t* destination,
                   size_t count);
