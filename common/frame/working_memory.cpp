#include "frame/working_memory.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#endif

void prepare_working_memory(std::size_t bytes) {
#if defined(__linux__) && defined(__GLIBC__) && defined(MADV_POPULATE_WRITE)
    // The kernel's large page on the machines this runs on; where it has
    // none, or another size, the request for large pages is only a hint.
    constexpr std::uintptr_t LARGE_PAGE = std::uintptr_t{2} << 20;
    // Blocks of any size from the heap, and the heap never given back while
    // the run lasts: the pages made ready stay ready.
    constexpr int LARGEST = 512 << 20;
    if (mallopt(M_MMAP_THRESHOLD, LARGEST) == 0 || mallopt(M_TRIM_THRESHOLD, LARGEST) == 0) {
        return;
    }
    // Whole large pages, and one spare so that they fit inside the block
    // wherever it starts.
    const std::size_t large_pages = (bytes + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    void* block = std::malloc(large_pages + LARGE_PAGE);
    if (block == nullptr) {
        return;
    }
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(block) + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    const std::uintptr_t end = start + large_pages;
    // A large page is one trap where small ones are 512. Both requests fail
    // harmlessly where the kernel lacks them (large pages off, or before 5.14).
    madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
    std::free(block);
#else
    (void)bytes;
#endif
}
