#include "map/qgis/packed_rtree.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace bramlotte::qgishost {
namespace {

double centreX(const Box& b) {
    return (b.xmin + b.xmax) * 0.5;
}
double centreY(const Box& b) {
    return (b.ymin + b.ymax) * 0.5;
}

Box unite(const Box* first, size_t count) {
    Box u = first[0];
    for (size_t i = 1; i < count; ++i) {
        u.xmin = std::min(u.xmin, first[i].xmin);
        u.ymin = std::min(u.ymin, first[i].ymin);
        u.xmax = std::max(u.xmax, first[i].xmax);
        u.ymax = std::max(u.ymax, first[i].ymax);
    }
    return u;
}

// Orders `entries` (positions into `boxes`) into STR tiles: vertical slices by
// x centre, each slice sorted by y centre. Sorts (centre, position) pairs so
// the comparisons read contiguous memory.
void strOrder(const std::vector<Box>& boxes, std::vector<uint32_t>& entries) {
    const size_t n = entries.size();
    const size_t nodes = (n + PackedRTree::kNodeSize - 1) / PackedRTree::kNodeSize;
    const size_t slices = static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(nodes))));
    const size_t perSlice = slices * PackedRTree::kNodeSize;
    std::vector<std::pair<double, uint32_t>> keyed(n);
    for (size_t i = 0; i < n; ++i) {
        keyed[i] = {centreX(boxes[entries[i]]), entries[i]};
    }
    std::sort(keyed.begin(), keyed.end());
    for (size_t s = 0; s < n; s += perSlice) {
        const size_t end = std::min(n, s + perSlice);
        for (size_t i = s; i < end; ++i) {
            keyed[i].first = centreY(boxes[keyed[i].second]);
        }
        std::sort(keyed.begin() + static_cast<std::ptrdiff_t>(s),
                  keyed.begin() + static_cast<std::ptrdiff_t>(end));
    }
    for (size_t i = 0; i < n; ++i) {
        entries[i] = keyed[i].second;
    }
}

}  // namespace

PackedRTree::PackedRTree(const std::vector<Box>& items) : itemCount_(items.size()) {
    if (items.empty()) {
        return;
    }
    // Leaves: the items in STR order.
    std::vector<uint32_t> order(items.size());
    std::iota(order.begin(), order.end(), 0u);
    strOrder(items, order);
    boxes_.reserve(items.size() * 17 / 15 + 1);
    refs_.reserve(boxes_.capacity());
    levelStart_.push_back(0);
    for (uint32_t i : order) {
        boxes_.push_back(items[i]);
        refs_.push_back(i);
    }
    levelStart_.push_back(boxes_.size());

    // Each further level holds one entry per group of kNodeSize entries below.
    while (levelStart_.back() - levelStart_[levelStart_.size() - 2] > 1) {
        const size_t begin = levelStart_[levelStart_.size() - 2];
        const size_t end = levelStart_.back();
        if (end - begin > static_cast<size_t>(kNodeSize)) {
            // Re-tile the level below so its groups are spatially compact.
            std::vector<uint32_t> idx(end - begin);
            std::iota(idx.begin(), idx.end(), static_cast<uint32_t>(begin));
            std::vector<Box> lower(boxes_.begin() + static_cast<std::ptrdiff_t>(begin),
                                   boxes_.begin() + static_cast<std::ptrdiff_t>(end));
            std::vector<uint32_t> local(idx.size());
            std::iota(local.begin(), local.end(), 0u);
            strOrder(lower, local);
            std::vector<uint32_t> lowerRefs(refs_.begin() + static_cast<std::ptrdiff_t>(begin),
                                            refs_.begin() + static_cast<std::ptrdiff_t>(end));
            for (size_t k = 0; k < local.size(); ++k) {
                boxes_[begin + k] = lower[local[k]];
                refs_[begin + k] = lowerRefs[local[k]];
            }
        }
        for (size_t g = begin; g < end; g += kNodeSize) {
            const size_t count = std::min<size_t>(kNodeSize, end - g);
            boxes_.push_back(unite(&boxes_[g], count));
            refs_.push_back(static_cast<uint32_t>(g));
        }
        levelStart_.push_back(boxes_.size());
    }
}

void PackedRTree::query(const Box& q, std::vector<uint32_t>& out) const {
    if (boxes_.empty()) {
        return;
    }
    // Depth-first; each level adds at most one group, so a small fixed stack
    // serves any tree (levels stay below 16 for 2^64 items).
    struct Pending {
        size_t entry;
        size_t level;
    };
    Pending stack[kNodeSize * 16];
    size_t depth = 0;
    const size_t top = levelStart_.size() - 2;
    for (size_t e = levelStart_[top]; e < levelStart_[top + 1]; ++e) {
        stack[depth++] = {e, top};
    }
    while (depth > 0) {
        const Pending p = stack[--depth];
        if (!boxes_[p.entry].intersects(q)) {
            continue;
        }
        if (p.level == 0) {
            out.push_back(refs_[p.entry]);
            continue;
        }
        const size_t first = refs_[p.entry];
        const size_t last = std::min(first + kNodeSize, levelStart_[p.level]);
        for (size_t c = first; c < last; ++c) {
            if (boxes_[c].intersects(q)) {
                stack[depth++] = {c, p.level - 1};
            }
        }
    }
}

}  // namespace bramlotte::qgishost
