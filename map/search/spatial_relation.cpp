#include "map/search/spatial_relation.h"

#include "map/host.h"

namespace bramlotte::search {

bool isKnownRelation(int32_t code) {
    using namespace host::relation;
    switch (code) {
        case kIntersects:
        case kEnvelopeIntersects:
        case kTouches:
        case kOverlaps:
        case kCrosses:
        case kContains:
        case kIsWithin:
            return true;
        default:
            return false;
    }
}

bool relationDefined(int32_t code, Dimension query, Dimension searched) {
    using namespace host::relation;
    switch (code) {
        case kOverlaps:
            return query == searched;
        case kCrosses:
            return !(query == 2 && searched == 2) && !(query == 0 && searched == 0);
        case kTouches:
            return !(query == 0 && searched == 0);
        default:
            return isKnownRelation(code);
    }
}

std::optional<bool> relationHolds(GEOSContextHandle_t ctx, int32_t code,
                                  const GEOSPreparedGeometry* query, const GEOSGeometry* searched) {
    using namespace host::relation;
    char r = 2;
    switch (code) {
        case kIntersects:
            r = GEOSPreparedIntersects_r(ctx, query, searched);
            break;
        case kEnvelopeIntersects:
            // The caller has already compared the boxes.
            return true;
        case kTouches:
            r = GEOSPreparedTouches_r(ctx, query, searched);
            break;
        case kOverlaps:
            r = GEOSPreparedOverlaps_r(ctx, query, searched);
            break;
        case kCrosses:
            r = GEOSPreparedCrosses_r(ctx, query, searched);
            break;
        case kContains:
            r = GEOSPreparedContains_r(ctx, query, searched);
            break;
        case kIsWithin:
            r = GEOSPreparedWithin_r(ctx, query, searched);
            break;
        default:
            return std::nullopt;
    }
    if (r == 2) {
        return std::nullopt;
    }
    return r == 1;
}

}  // namespace bramlotte::search
