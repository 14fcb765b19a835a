// What each relationship code means geometrically, on GEOS geometries.
#pragma once

#include <geos_c.h>

#include <cstdint>
#include <optional>

namespace bramlotte::search {

// Dimension of a shape or of a layer's shapes: 0 points, 1 lines, 2 polygons.
using Dimension = int;

// True where the relationship is defined between shapes of these dimensions.
// OVERLAP needs one dimension, CROSS is undefined for two polygons or two
// points, TOUCH for two points.
bool relationDefined(int32_t code, Dimension query, Dimension searched);

// Tests one searched geometry against the prepared query shape. Returns
// nullopt when GEOS fails on the pair (for example on an invalid polygon).
std::optional<bool> relationHolds(GEOSContextHandle_t ctx, int32_t code,
                                  const GEOSPreparedGeometry* query, const GEOSGeometry* searched);

bool isKnownRelation(int32_t code);

}  // namespace bramlotte::search
