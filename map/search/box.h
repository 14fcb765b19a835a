// Axis-aligned boxes: the bounds of shapes and of the searches over them.
#pragma once

namespace bramlotte::search {

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

}  // namespace bramlotte::search
