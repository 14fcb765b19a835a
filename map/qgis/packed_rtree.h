// A static R-tree bulk-loaded with the sort-tile-recursive (STR) packing.
//
// Built once over the bounding boxes of a feature class; answers which boxes
// meet a query box. Items are the positions of the boxes given to build().
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

class PackedRTree {
  public:
    static constexpr int kNodeSize = 16;

    PackedRTree() = default;
    explicit PackedRTree(const std::vector<Box>& boxes);

    // Appends to `out` the item of every box that meets `query`, in no
    // particular order.
    void query(const Box& query, std::vector<uint32_t>& out) const;

    size_t size() const { return itemCount_; }

  private:
    // All nodes, level by level from the leaves up; the root is last.
    // Leaf entries point at items, inner entries at the first entry of a child
    // group of up to kNodeSize entries.
    std::vector<Box> boxes_;
    std::vector<uint32_t> refs_;
    std::vector<size_t> levelStart_;  // first entry of each level, plus the end
    size_t itemCount_ = 0;
};

}  // namespace bramlotte::qgishost
