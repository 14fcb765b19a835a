// Standard WKB as it comes from a data source, made into the store's form:
// flat (2D), little-endian, each part as the host reads it.
#pragma once

#include "map/search/box.h"
#include "map/skipped_shapes.h"

#include <cstddef>
#include <vector>

namespace bramlotte::search {

enum class FlattenResult {
    Shape,        // appended
    Empty,        // no point to hold: nothing appended
    Unsupported,  // curves, surfaces, a spatial reference inside: nothing appended
    Malformed     // data that does not parse as WKB (cut short, say): nothing appended
};

// Appends the shape `wkb` (either byte order; XY, Z, M or ZM, by ISO type
// codes or the Z and M flags) to `out` as little-endian 2D WKB, Z and M left
// out. With `promoteToMulti`, a single point, line or polygon becomes a
// collection of one part of the same kind, as a layer of multipart shapes
// delivers it. A shape is empty as the host counts it: a point with a
// coordinate that is not a number, a line without points, a polygon without
// an outer ring or an empty one, a collection of empty parts only. A ring
// whose last point is not its first is closed, as the host reads it.
// `box` takes the exact bounds of a Shape and `fault` what keeps it out of
// searches: NonFinite, DegenerateRing or None (see wkbFault).
FlattenResult appendFlatWkb(const unsigned char* wkb, size_t size, bool promoteToMulti,
                            std::vector<unsigned char>& out, Box& box, host::ShapeFault& fault);

}  // namespace bramlotte::search
