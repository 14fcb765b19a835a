// A static R-tree bulk-loaded with the sort-tile-recursive (STR) packing.
//
// Built once over the bounding boxes of a feature class; answers which boxes
// meet a query box. The leaves hold only positions into the caller's boxes,
// so the boxes are not kept twice.
#pragma once

#include "map/search/box.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bramlotte::search {

class PackedRTree {
  public:
    static constexpr int kNodeSize = 16;

    PackedRTree() = default;
    // Indexes `items`, positions into `boxes`. `boxes` must outlive the tree
    // and stay unchanged while it is used.
    PackedRTree(const std::vector<FloatBox>& boxes, std::vector<uint32_t> items);

    // Appends to `out` every item whose (widened) box meets `query`, in no
    // particular order.
    void query(const Box& query, std::vector<uint32_t>& out) const;

    size_t size() const { return leaves_.size(); }

  private:
    const std::vector<FloatBox>* boxes_ = nullptr;
    std::vector<uint32_t> leaves_;  // the items in STR order
    // The levels above the leaves, from the lowest to the root: each entry is
    // the box of a group of up to kNodeSize entries below and the first of them.
    std::vector<Box> nodeBoxes_;
    std::vector<uint32_t> nodeFirst_;
    std::vector<size_t> levelStart_;  // first entry of each level, plus the end
};

}  // namespace bramlotte::search
