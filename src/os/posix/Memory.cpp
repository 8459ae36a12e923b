#include "os/Memory.h"

#include <sys/mman.h>

namespace markwell::os {

void* allocateLargeBlock(std::size_t bytes) {
    if (bytes == 0) {
        return nullptr;
    }
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return nullptr;
    }
    // Both are advice: where the system does not take it, the pages come one by one as before.
#ifdef MADV_HUGEPAGE
    ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    ::madvise(block, bytes, MADV_POPULATE_WRITE);
#endif
    return block;
}

void releaseLargeBlock(void* block, std::size_t bytes) noexcept {
    if (block != nullptr) {
        ::munmap(block, bytes);
    }
}

} // namespace markwell::os
