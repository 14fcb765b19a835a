#include "map/store/large_memory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace bramlotte::store {

void adviseHugePages(const void* data, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = 2u << 20;
    if (bytes < 2 * kHuge) {
        return;  // smaller arrays could not hold an aligned huge page anyway
    }
    // Only whole pages inside the array: its neighbours keep their advice.
    const auto begin = (reinterpret_cast<uintptr_t>(data) + 4095) & ~uintptr_t{4095};
    const auto end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~uintptr_t{4095};
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace bramlotte::store
