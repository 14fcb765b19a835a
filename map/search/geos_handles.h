// GEOS objects owned as C++ objects: each freed by the context that made
// it, on every way out.
#pragma once

#include <geos_c.h>

#include <memory>

namespace bramlotte::search {

struct GeometryDeleter {
    GEOSContextHandle_t ctx = nullptr;
    void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(ctx, g); }
};
using GeosGeometry = std::unique_ptr<GEOSGeometry, GeometryDeleter>;

struct PreparedDeleter {
    GEOSContextHandle_t ctx = nullptr;
    void operator()(const GEOSPreparedGeometry* g) const { GEOSPreparedGeom_destroy_r(ctx, g); }
};
using GeosPrepared = std::unique_ptr<const GEOSPreparedGeometry, PreparedDeleter>;

struct ReaderDeleter {
    GEOSContextHandle_t ctx = nullptr;
    void operator()(GEOSWKBReader* r) const { GEOSWKBReader_destroy_r(ctx, r); }
};
using GeosReader = std::unique_ptr<GEOSWKBReader, ReaderDeleter>;

}  // namespace bramlotte::search
