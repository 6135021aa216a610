#include "frame/working_memory.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#endif

void prepare_working_memory(std::size_t bytes) {
#if defined(__linux__) && defined(__GLIBC__) && defined(MADV_POPULATE_WRITE)
    // Blocks of any size from the heap, and the heap never given back while
    // the run lasts: the pages made ready stay ready.
    constexpr int LARGEST = 512 << 20;
    if (mallopt(M_MMAP_THRESHOLD, LARGEST) == 0 || mallopt(M_TRIM_THRESHOLD, LARGEST) == 0) {
        return;
    }
    void* block = std::malloc(bytes);
    if (block == nullptr) {
        return;
    }
    constexpr std::uintptr_t PAGE = 4096;
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(block) + PAGE - 1) & ~(PAGE - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes) & ~(PAGE - 1);
    if (end > start) {
        // Fails harmlessly on kernels before 5.14.
        madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
    }
    std::free(block);
#else
    (void)bytes;
#endif
}
