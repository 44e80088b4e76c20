// Large zeroed blocks whose pages are present from the start: the image arrays of a
// buffered file are written once, and faulting their pages in one at a time costs more than
// decoding them.
#pragma once
#include <cstddef>
#include <cstdint>

// `bytes` zeroed bytes, or nullptr. Freed only with FreeZeroedPages and the same size.
uint8_t* AllocZeroedPages(size_t bytes);
void FreeZeroedPages(void* block, size_t bytes);
