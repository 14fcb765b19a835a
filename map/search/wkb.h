// Shapes as flat (2D) little-endian WKB, the form the feature store holds
// them in and GEOS reads: the one type list and the one reader.
#pragma once

#include "map/search/box.h"
#include "map/skipped_shapes.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace bramlotte::search {

enum class WkbType : uint32_t {
    Point = 1,
    LineString = 2,
    Polygon = 3,
    MultiPoint = 4,
    MultiLineString = 5,
    MultiPolygon = 6,
    Collection = 7
};

// Reads WKB front to back. Every read answers false, and reads nothing, past
// the end of the data.
class WkbReader {
  public:
    WkbReader(const unsigned char* data, size_t size) : p_(data), end_(data + size) {}

    // A shape's byte order and type; only little-endian shapes are read.
    bool header(WkbType& type) {
        unsigned char order = 0;
        uint32_t raw = 0;
        if (!take(&order, 1) || order != 1 || !count(raw)) {
            return false;
        }
        type = static_cast<WkbType>(raw);
        return true;
    }
    // A count of points, rings or parts.
    bool count(uint32_t& n) { return take(&n, 4); }
    bool point(double& x, double& y) {
        if (static_cast<size_t>(end_ - p_) < 16) {
            return false;
        }
        std::memcpy(&x, p_, 8);
        std::memcpy(&y, p_ + 8, 8);
        p_ += 16;
        return true;
    }
    // Whether `n` points can follow: a count that the data cannot hold is
    // refused before anything is read.
    bool holdsPoints(uint32_t n) const { return static_cast<size_t>(end_ - p_) / 16 >= n; }
    // Where the next read starts.
    const unsigned char* position() const { return p_; }

  private:
    bool take(void* out, size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) {
            return false;
        }
        std::memcpy(out, p_, n);
        p_ += n;
        return true;
    }
    const unsigned char* p_;
    const unsigned char* end_;
};

// What keeps a shape out of every search: Unreadable for data that does
// not parse, NonFinite for a coordinate that is not a finite number,
// DegenerateRing for a polygon ring of fewer than three distinct points.
host::ShapeFault wkbFault(const unsigned char* wkb, size_t size);

// Whether a ring of `n` points (x and y, 16 bytes each, at `points`) has
// three distinct points, as a ring that bounds an area must.
bool ringBoundsArea(const unsigned char* points, uint32_t n);

// The exact bounding box of a shape. False when the shape holds no point or
// cannot be read.
bool wkbBounds(const unsigned char* wkb, size_t size, Box& box);

}  // namespace bramlotte::search
