// A static R-tree bulk-loaded with the sort-tile-recursive (STR) packing.
//
// Built once over the bounding boxes of a feature class; answers which boxes
// meet a query box. The leaves hold only positions into the caller's boxes,
// so the boxes are not kept twice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bramlotte::qgishost {

struct Box {
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    bool intersects(const Box& o) const {
        return xmin <= o.xmax && o.xmin <= xmax && ymin <= o.ymax && o.ymin <= ymax;
    }
    bool contains(const Box& o) const {
        return xmin <= o.xmin && o.xmax <= xmax && ymin <= o.ymin && o.ymax <= ymax;
    }
};

// A box held in single precision, rounded outwards so that it always holds
// the exact box it stands for: half the memory of the exact one, and any
// test it passes as "inside" or fails as "meets" is true of the exact box too.
struct FloatBox {
    float xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    static FloatBox around(const Box& b);
    Box widened() const { return {xmin, ymin, xmax, ymax}; }
    bool intersects(const Box& o) const {
        return xmin <= o.xmax && o.xmin <= xmax && ymin <= o.ymax && o.ymin <= ymax;
    }
};

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

}  // namespace bramlotte::qgishost
