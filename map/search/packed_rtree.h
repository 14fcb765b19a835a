// A static R-tree bulk-loaded with the sort-tile-recursive (STR) packing.
//
// Built once over the bounding boxes of a feature class; answers which boxes
// meet a query box. The leaves keep their boxes in the tree's own order, so
// a query reads them one after the other rather than all over the caller's
// boxes; the caller need not keep its boxes.
#pragma once

#include "map/search/box.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bramlotte::search {

class PackedRTree {
  public:
    static constexpr int kNodeSize = 16;

    PackedRTree() = default;
    // Indexes `items`, positions into `boxes`.
    PackedRTree(const std::vector<FloatBox>& boxes, std::vector<uint32_t> items);

    // Calls `hit(item, box)` for every item whose (widened) box meets
    // `query`, in no particular order.
    template <typename Hit>
    void visit(const Box& query, Hit&& hit) const;
    // Appends to `out` every item whose (widened) box meets `query`, in no
    // particular order.
    void query(const Box& query, std::vector<uint32_t>& out) const {
        visit(query, [&out](uint32_t item, const FloatBox&) { out.push_back(item); });
    }

    size_t size() const { return leaves_.size(); }

  private:
    std::vector<uint32_t> leaves_;     // the items in STR order
    std::vector<FloatBox> leafBoxes_;  // their boxes, in the same order
    // The levels above the leaves, from the lowest to the root: each entry is
    // the box of a group of up to kNodeSize entries below and the first of them.
    std::vector<Box> nodeBoxes_;
    std::vector<uint32_t> nodeFirst_;
    std::vector<size_t> levelStart_;  // first entry of each level, plus the end
};

template <typename Hit>
void PackedRTree::visit(const Box& q, Hit&& hit) const {
    if (leaves_.empty()) {
        return;
    }
    // Depth-first; each level adds at most one group, so a small fixed stack
    // serves any tree (levels stay below 16 for 2^64 items).
    struct Pending {
        size_t entry;
        size_t level;  // 0 is the level just above the leaves
    };
    Pending stack[kNodeSize * 16];
    size_t depth = 0;
    const size_t top = levelStart_.size() - 2;
    for (size_t e = levelStart_[top]; e < levelStart_[top + 1]; ++e) {
        if (nodeBoxes_[e].intersects(q)) {
            stack[depth++] = {e, top};
        }
    }
    while (depth > 0) {
        const Pending p = stack[--depth];
        const size_t first = nodeFirst_[p.entry];
        if (p.level == 0) {
            const size_t last = std::min(first + kNodeSize, leaves_.size());
            for (size_t c = first; c < last; ++c) {
                if (leafBoxes_[c].intersects(q)) {
                    hit(leaves_[c], leafBoxes_[c]);
                }
            }
            continue;
        }
        const size_t last = std::min(first + kNodeSize, levelStart_[p.level]);
        for (size_t c = first; c < last; ++c) {
            if (nodeBoxes_[c].intersects(q)) {
                stack[depth++] = {c, p.level - 1};
            }
        }
    }
}

}  // namespace bramlotte::search
