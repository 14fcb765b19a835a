// Same-named streets told apart by the localities they lie in, on shapes
// as WKB with GEOS.
//
// The segments of one key (a street name) that touch or come within the
// join distance of each other are one street, and so are chains of them. A
// street's locality is the locality holding the largest part of it: of its
// length for lines, of its area for polygons, of its points for points (a
// street mixing them is measured by its highest dimension). Boundaries
// count as inside: a point on one is held, a line along one is covered.
// Lengths or areas within a billionth of each other are a tie, won by the
// locality met first; a street with no length (area, point) inside any
// locality has none, so one that merely touches a locality's edge is not in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace bramlotte::search {

struct StreetSegment {
    // From 0; the segments of one key share it. Negative: the segment has
    // no key and is part of no street.
    int32_t key = -1;
    // The shape as WKB, in the localities' coordinates; nullptr (or size 0)
    // for none: the segment is then part of no street.
    const unsigned char* wkb = nullptr;
    size_t size = 0;
};

struct LocalityArea {
    // Localities of one name share a number: to a key they are one locality.
    uint32_t name = 0;
    // A polygon as WKB; one GEOS finds invalid is first made valid.
    const unsigned char* wkb = nullptr;
    size_t size = 0;
};

struct StreetLocalityRule {
    double joinDistance = 0;  // 0: only touching segments join
    // Every street with a locality is shown with it, not only the streets
    // of keys that lie in more than one.
    bool always = false;
};

struct StreetLocalityResult {
    // Per segment: its street, numbered from 0 in the order of the streets'
    // first segments; -1 for a segment that is part of none.
    std::vector<int32_t> streetOf;
    // Per street: its key, its locality (an index into the localities; -1
    // for none) and whether the index shows its key with that locality.
    std::vector<int32_t> keyOf;
    std::vector<int32_t> localityOf;
    std::vector<uint8_t> shown;
    // Per key, up to the highest key given: whether its streets lie in
    // localities of more than one name (streets without one not counted),
    // and whether a locality name holds more than one of its streets:
    // pieces far apart that one entry would join.
    std::vector<uint8_t> split;
    std::vector<uint8_t> toCheck;

    // The locality the segment's key is shown with, or -1.
    int32_t shownLocality(size_t segment) const {
        const int32_t street = streetOf[segment];
        return street >= 0 && shown[static_cast<size_t>(street)]
                   ? localityOf[static_cast<size_t>(street)]
                   : -1;
    }
};

// A shape GEOS could not read, make valid or measure.
class LocalityShapeFailure : public std::runtime_error {
  public:
    enum class Of { Segment, Locality };
    LocalityShapeFailure(Of of, size_t index, const std::string& what)
        : std::runtime_error(what), of(of), index(index) {}
    Of of;
    size_t index;  // into the segments or the localities
};

// Streets by a packed R-tree over each key's segments and a union of the
// pairs within the join distance; localities by a tree over their boxes,
// each segment measured against the prepared localities its box meets.
// Throws LocalityShapeFailure.
StreetLocalityResult findStreetLocalities(const std::vector<StreetSegment>& segments,
                                          const std::vector<LocalityArea>& localities,
                                          const StreetLocalityRule& rule);

}  // namespace bramlotte::search
