// One row of an 8-bit bitmap through its colour table into client-surface words.
#pragma once

#include <cstddef>
#include <cstdint>

// `table` holds 256 words 0x00RRGGBB; `count` pixels of `source` become `destination`.
void ConvertDibRow(const uint8_t* source, const uint32_t* table, uint32_t* destination,
                   size_t count);
