// Large arrays of the store, reserved whole and backed by huge pages where
// the system offers them. Filling fresh memory costs a page fault per page
// touched: with 2 MiB pages instead of 4 KiB ones, a read of millions of
// shapes spends far less time in the kernel, and a reservation made larger
// than needed costs address space only, as untouched pages are never mapped.
#pragma once

#include <cstddef>
#include <vector>

namespace bramlotte::store {

// Asks the system to back [data, data + bytes) with huge pages; a hint only.
void adviseHugePages(const void* data, size_t bytes);

// Reserves room for `count` elements in `v` and advises huge pages for it.
template <typename T, typename A>
void reserveLarge(std::vector<T, A>& v, size_t count) {
    if (count > v.capacity()) {
        v.reserve(count);
        adviseHugePages(v.data(), v.capacity() * sizeof(T));
    }
}

}  // namespace bramlotte::store
