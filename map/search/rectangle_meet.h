// Whether a point or line shape meets an axis-aligned rectangle (a map page),
// decided from its coordinates without building GEOS geometries.
#pragma once

#include "map/search/box.h"

#include <cstddef>
#include <optional>

namespace bramlotte::search {

// Whether the shape in flat WKB (as the store holds it) has a point in the
// closed rectangle `rect`. nullopt for shapes other than points and lines,
// and for the rare near-touch that double arithmetic cannot settle with
// certainty: the caller then asks GEOS.
std::optional<bool> wkbMeetsRectangle(const unsigned char* wkb, size_t size, const Box& rect);

}  // namespace bramlotte::search
