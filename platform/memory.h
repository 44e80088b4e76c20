// Large zeroed blocks for the image arrays, and what memory the system has left.
#pragma once
#include <cstddef>
#include <cstdint>

enum class PagePresence {
    // The pages are made present in one call: a buffered frame is written once from end to
    // end, and faulting its pages in one at a time costs more than decoding them.
    AllAtOnce,
    // Each page becomes present when it is first written: for a frame far larger than the
    // stream that codes it, most pages are never written, and cost nothing.
    AsWritten,
};

// `bytes` zeroed bytes, or nullptr. Freed only with FreeZeroedPages and the same size.
uint8_t* AllocZeroedPages(size_t bytes, PagePresence presence = PagePresence::AllAtOnce);
void FreeZeroedPages(void* block, size_t bytes);

// The physical memory the system can still give without swapping or ending a process, in
// bytes; UINT64_MAX when the system does not say.
uint64_t AvailablePhysicalMemory();
