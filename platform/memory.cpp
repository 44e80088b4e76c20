#include "platform/memory.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <sys/mman.h>
#define KINARO_HUGE_PAGES 1
#endif

#if KINARO_HUGE_PAGES
namespace {
// Below this, the heap does as well; above it, the block is its own mapping.
constexpr size_t MappedBlock = size_t{1} << 20;
constexpr size_t HugePage = size_t{2} << 20;

size_t RoundToHugePages(size_t bytes) {
    return (bytes + HugePage - 1) & ~(HugePage - 1);
}

// A mapping aligned to and sized in huge pages, so the kernel can back it with them, and
// populated in one call rather than by a fault per page. Anonymous pages are zeroed.
uint8_t* MapZeroedPages(size_t bytes, PagePresence presence) {
    const size_t length = RoundToHugePages(bytes);
    if (length < bytes) return nullptr;
    void* raw = mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + HugePage - 1) & ~uintptr_t{HugePage - 1};
    if (aligned > start) munmap(raw, aligned - start);
    const uintptr_t tail = aligned + length, end = start + length + HugePage;
    if (end > tail) munmap(reinterpret_cast<void*>(tail), end - tail);
    void* block = reinterpret_cast<void*>(aligned);
    // Pages left to appear as written: reading one never written maps the one huge zero page,
    // 2 MB a fault, and costs no memory.
    madvise(block, length, MADV_HUGEPAGE);
    if (presence == PagePresence::AsWritten) return static_cast<uint8_t*>(block);
        // Refused by older kernels, which leaves the pages to be faulted in as they are written.
#ifdef MADV_POPULATE_WRITE
    madvise(block, length, MADV_POPULATE_WRITE);
#endif
    return static_cast<uint8_t*>(block);
}
}  // namespace
#endif

uint8_t* AllocZeroedPages(size_t bytes, [[maybe_unused]] PagePresence presence) {
#if KINARO_HUGE_PAGES
    if (bytes >= MappedBlock) return MapZeroedPages(bytes, presence);
#endif
    // A large calloc is a fresh mapping whose pages appear as they are written.
    return static_cast<uint8_t*>(std::calloc(bytes, 1));
}

void FreeZeroedPages(void* block, [[maybe_unused]] size_t bytes) {
#if KINARO_HUGE_PAGES
    if (bytes >= MappedBlock) {
        if (block != nullptr) munmap(block, RoundToHugePages(bytes));
        return;
    }
#endif
    std::free(block);
}

uint64_t AvailablePhysicalMemory() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status)) return status.ullAvailPhys;
    return UINT64_MAX;
#else
    // Linux's own estimate of what can be taken without swapping, page cache included.
    FILE* info = std::fopen("/proc/meminfo", "r");
    if (info == nullptr) return UINT64_MAX;
    uint64_t available = UINT64_MAX;
    char line[128];
    unsigned long long kilobytes = 0;
    while (std::fgets(line, sizeof line, info) != nullptr)
        if (std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1) {
            available = static_cast<uint64_t>(kilobytes) * 1024;
            break;
        }
    std::fclose(info);
    return available;
#endif
}
