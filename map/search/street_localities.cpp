#include "map/search/street_localities.h"

#include "map/search/geos_handles.h"
#include "map/search/packed_rtree.h"
#include "map/search/wkb.h"

#include <geos_c.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace bramlotte::search {
namespace {

using Of = LocalityShapeFailure::Of;

// A GEOS context of its own, which keeps the last error GEOS reported.
class Geos {
  public:
    Geos() : ctx_(GEOS_init_r()) {
        if (!ctx_) {
            throw std::runtime_error("GEOS cannot be started.");
        }
        GEOSContext_setErrorMessageHandler_r(ctx_, &Geos::keep, this);
    }
    ~Geos() { GEOS_finish_r(ctx_); }
    Geos(const Geos&) = delete;
    Geos& operator=(const Geos&) = delete;

    GEOSContextHandle_t ctx() const { return ctx_; }
    // What GEOS said last, or `fallback` when it said nothing.
    std::string said(const char* fallback) const {
        return lastError_.empty() ? std::string(fallback) : lastError_;
    }

  private:
    static void keep(const char* message, void* self) {
        static_cast<Geos*>(self)->lastError_ = message ? message : "";
    }
    GEOSContextHandle_t ctx_;
    std::string lastError_;
};

using Geometry = GeosGeometry;
using Prepared = GeosPrepared;
using Reader = GeosReader;

Geometry own(const Geos& geos, GEOSGeometry* g) {
    return Geometry(g, GeometryDeleter{geos.ctx()});
}

// Sets of segments joined pair by pair: union by size, paths halved.
class Streets {
  public:
    explicit Streets(size_t n) : parent_(n), size_(n, 1) {
        for (size_t i = 0; i < n; ++i) {
            parent_[i] = static_cast<uint32_t>(i);
        }
    }
    uint32_t find(uint32_t a) {
        while (parent_[a] != a) {
            parent_[a] = parent_[parent_[a]];
            a = parent_[a];
        }
        return a;
    }
    void unite(uint32_t a, uint32_t b) {
        a = find(a);
        b = find(b);
        if (a == b) {
            return;
        }
        if (size_[a] < size_[b]) {
            std::swap(a, b);
        }
        parent_[b] = a;
        size_[a] += size_[b];
    }

  private:
    std::vector<uint32_t> parent_;
    std::vector<uint32_t> size_;
};

// `b` grown by `d` on every side, and by a little more, so that rounding
// never keeps out a pair exactly `d` apart: the boxes only choose the pairs
// GEOS then decides.
Box grown(const Box& b, double d) {
    const double scale =
        std::max({std::fabs(b.xmin), std::fabs(b.xmax), std::fabs(b.ymin), std::fabs(b.ymax), d});
    const double g = d + scale * 1e-12;
    return {b.xmin - g, b.ymin - g, b.xmax + g, b.ymax + g};
}

// How much of a shape lies in a locality: points held, or length, or area,
// by the shape's dimension.
struct Measure {
    int dimension = -1;
    double amount = 0;

    void add(const Measure& m) {
        if (m.dimension > dimension) {
            *this = m;
        } else if (m.dimension == dimension) {
            amount += m.amount;
        }
    }
};

// One locality: its shape made valid and polygonal, prepared when first used.
struct Locality {
    bool read = false;
    Geometry shape;
    Prepared prepared;
};

class Overlay {
  public:
    Overlay(const Geos& geos, const std::vector<LocalityArea>& areas)
        : geos_(geos),
          ctx_(geos.ctx()),
          areas_(areas),
          localities_(areas.size()),
          reader_(GEOSWKBReader_create_r(ctx_), ReaderDeleter{ctx_}) {
        std::vector<FloatBox> boxes(areas.size());
        std::vector<uint32_t> items;
        for (size_t i = 0; i < areas.size(); ++i) {
            Box b;
            if (areas[i].wkb && areas[i].size > 0 && wkbBounds(areas[i].wkb, areas[i].size, b)) {
                boxes[i] = FloatBox::around(b);
                items.push_back(static_cast<uint32_t>(i));
            }
        }
        tree_ = PackedRTree(boxes, std::move(items));
    }

    // The localities whose boxes meet `box`, in their order.
    void candidates(const Box& box, std::vector<uint32_t>& out) const {
        out.clear();
        tree_.query(box, out);
        std::sort(out.begin(), out.end());
    }

    Geometry readSegment(const StreetSegment& s, size_t index) const {
        Geometry g = own(geos_, GEOSWKBReader_read_r(ctx_, reader_.get(), s.wkb, s.size));
        if (!g) {
            throw LocalityShapeFailure(Of::Segment, index, geos_.said("unreadable shape"));
        }
        return g;
    }

    // What of `segment` (segment number `index`) lies in locality `at`.
    Measure measure(const GEOSGeometry* segment, size_t index, uint32_t at) {
        const Locality& locality = ready(at);
        if (!locality.prepared) {
            return {};  // a locality without area holds nothing
        }
        return measure(segment, index, at, locality);
    }

  private:
    const Locality& ready(uint32_t at) {
        Locality& l = localities_[at];
        if (l.read) {
            return l;
        }
        l.read = true;
        const LocalityArea& area = areas_[at];
        Geometry g = own(geos_, GEOSWKBReader_read_r(ctx_, reader_.get(), area.wkb, area.size));
        if (!g) {
            throw LocalityShapeFailure(Of::Locality, at, geos_.said("unreadable shape"));
        }
        const char valid = GEOSisValid_r(ctx_, g.get());
        if (valid != 1) {
            g = own(geos_, GEOSMakeValid_r(ctx_, g.get()));
            if (!g) {
                throw LocalityShapeFailure(Of::Locality, at,
                                           geos_.said("invalid shape that cannot be made valid"));
            }
        }
        l.shape = polygonal(std::move(g));
        if (l.shape) {
            l.prepared = Prepared(GEOSPrepare_r(ctx_, l.shape.get()), PreparedDeleter{ctx_});
            if (!l.prepared) {
                throw LocalityShapeFailure(Of::Locality, at, geos_.said("cannot be prepared"));
            }
        }
        return l;
    }

    // The polygons of `g` (what making it valid may have mixed with lines
    // and points), or nothing when it has none.
    Geometry polygonal(Geometry g) const {
        const int type = GEOSGeomTypeId_r(ctx_, g.get());
        if ((type == GEOS_POLYGON || type == GEOS_MULTIPOLYGON) &&
            GEOSisEmpty_r(ctx_, g.get()) == 0) {
            return g;
        }
        if (type != GEOS_GEOMETRYCOLLECTION) {
            return Geometry();
        }
        std::vector<Geometry> parts;
        const int n = GEOSGetNumGeometries_r(ctx_, g.get());
        for (int i = 0; i < n; ++i) {
            const GEOSGeometry* part = GEOSGetGeometryN_r(ctx_, g.get(), i);
            const int partType = GEOSGeomTypeId_r(ctx_, part);
            if (partType == GEOS_POLYGON) {
                parts.push_back(own(geos_, GEOSGeom_clone_r(ctx_, part)));
            } else if (partType == GEOS_MULTIPOLYGON) {
                for (int k = 0; k < GEOSGetNumGeometries_r(ctx_, part); ++k) {
                    parts.push_back(
                        own(geos_, GEOSGeom_clone_r(ctx_, GEOSGetGeometryN_r(ctx_, part, k))));
                }
            }
        }
        if (parts.empty()) {
            return Geometry();
        }
        std::vector<GEOSGeometry*> raw;
        for (Geometry& p : parts) {
            raw.push_back(p.get());
        }
        Geometry multi = own(geos_, GEOSGeom_createCollection_r(ctx_, GEOS_MULTIPOLYGON, raw.data(),
                                                                static_cast<unsigned>(raw.size())));
        if (multi) {
            for (Geometry& p : parts) {
                p.release();  // the collection owns them now
            }
        }
        return multi;
    }

    bool test(char answer, size_t index) const {
        if (answer == 2) {
            throw LocalityShapeFailure(Of::Segment, index, geos_.said("cannot be compared"));
        }
        return answer == 1;
    }

    Measure measure(const GEOSGeometry* g, size_t index, uint32_t at, const Locality& l) {
        const int type = GEOSGeomTypeId_r(ctx_, g);
        if (type == GEOS_GEOMETRYCOLLECTION || type == GEOS_MULTIPOINT) {
            // Part by part: points are counted, and GEOS intersects no
            // collection of mixed parts as a whole.
            Measure sum;
            sum.dimension = GEOSGeom_getDimensions_r(ctx_, g);
            const int n = GEOSGetNumGeometries_r(ctx_, g);
            for (int i = 0; i < n; ++i) {
                sum.add(measure(GEOSGetGeometryN_r(ctx_, g, i), index, at, l));
            }
            return sum;
        }
        const int dimension = GEOSGeom_getDimensions_r(ctx_, g);
        if (dimension == 0) {
            return {0,
                    test(GEOSPreparedIntersects_r(ctx_, l.prepared.get(), g), index) ? 1.0 : 0.0};
        }
        double amount = 0;
        auto size = [&](const GEOSGeometry* of) {
            const int ok =
                dimension == 1 ? GEOSLength_r(ctx_, of, &amount) : GEOSArea_r(ctx_, of, &amount);
            if (!ok) {
                throw LocalityShapeFailure(Of::Segment, index, geos_.said("cannot be measured"));
            }
        };
        if (test(GEOSPreparedCovers_r(ctx_, l.prepared.get(), g), index)) {
            size(g);
        } else if (test(GEOSPreparedIntersects_r(ctx_, l.prepared.get(), g), index)) {
            Geometry part = own(geos_, GEOSIntersection_r(ctx_, l.shape.get(), g));
            if (!part && dimension == 2 && GEOSisValid_r(ctx_, g) != 1) {
                // An invalid polygon of the street layer: its valid form.
                Geometry valid = own(geos_, GEOSMakeValid_r(ctx_, g));
                if (valid) {
                    part = own(geos_, GEOSIntersection_r(ctx_, l.shape.get(), valid.get()));
                }
            }
            if (!part) {
                throw LocalityShapeFailure(Of::Segment, index,
                                           geos_.said("cannot be intersected with a locality"));
            }
            size(part.get());
        }
        return {dimension, amount};
    }

    const Geos& geos_;
    GEOSContextHandle_t ctx_;
    const std::vector<LocalityArea>& areas_;
    std::vector<Locality> localities_;
    Reader reader_;
    PackedRTree tree_;
};

// The first and last points of a line, or of a line of one part; false for
// any other shape.
bool lineEnds(const StreetSegment& s, double (&ends)[4]) {
    WkbReader in(s.wkb, s.size);
    WkbType type{};
    uint32_t n = 0;
    if (!in.header(type)) {
        return false;
    }
    if (type == WkbType::MultiLineString) {
        if (!in.count(n) || n != 1 || !in.header(type)) {
            return false;
        }
    }
    if (type != WkbType::LineString || !in.count(n) || n == 0 || !in.holdsPoints(n)) {
        return false;
    }
    const unsigned char* first = in.position();
    std::memcpy(ends, first, 16);
    std::memcpy(ends + 2, first + 16 * static_cast<size_t>(n - 1), 16);
    return true;
}

// Whether two lines have an end point in common: then they touch.
bool shareAnEnd(const StreetSegment& a, const StreetSegment& b) {
    double ea[4], eb[4];
    if (!lineEnds(a, ea) || !lineEnds(b, eb)) {
        return false;
    }
    for (int i = 0; i < 4; i += 2) {
        for (int j = 0; j < 4; j += 2) {
            if (ea[i] == eb[j] && ea[i + 1] == eb[j + 1]) {
                return true;
            }
        }
    }
    return false;
}

// Joins the segments of each key that lie within the join distance.
void joinSegments(const Geos& geos, const std::vector<StreetSegment>& segments,
                  const std::vector<Box>& boxes, const std::vector<uint32_t>& taking,
                  int32_t keyCount, double distance, Streets& streets) {
    GEOSContextHandle_t ctx = geos.ctx();
    // The taking segments grouped by key, in their order within each key.
    std::vector<size_t> start(static_cast<size_t>(keyCount) + 1, 0);
    for (const uint32_t s : taking) {
        ++start[static_cast<size_t>(segments[s].key) + 1];
    }
    for (size_t k = 0; k < static_cast<size_t>(keyCount); ++k) {
        start[k + 1] += start[k];
    }
    std::vector<uint32_t> byKey(taking.size());
    {
        std::vector<size_t> next(start.begin(), start.end() - 1);
        for (const uint32_t s : taking) {
            byKey[next[static_cast<size_t>(segments[s].key)]++] = s;
        }
    }

    const Reader reader(GEOSWKBReader_create_r(ctx), ReaderDeleter{ctx});
    std::vector<Geometry> shapes;
    std::vector<Prepared> preparedShapes;
    std::vector<FloatBox> floatBoxes;
    std::vector<uint32_t> items;
    for (size_t k = 0; k < static_cast<size_t>(keyCount); ++k) {
        const uint32_t* group = byKey.data() + start[k];
        const size_t n = start[k + 1] - start[k];
        if (n < 2) {
            continue;
        }
        preparedShapes.clear();
        shapes.clear();
        shapes.resize(n);  // read and prepared when first compared
        preparedShapes.resize(n);
        auto shape = [&](size_t local) -> const GEOSGeometry* {
            if (!shapes[local]) {
                const StreetSegment& s = segments[group[local]];
                shapes[local] = own(geos, GEOSWKBReader_read_r(ctx, reader.get(), s.wkb, s.size));
                if (!shapes[local]) {
                    throw LocalityShapeFailure(Of::Segment, group[local],
                                               geos.said("unreadable shape"));
                }
            }
            return shapes[local].get();
        };
        auto prepared = [&](size_t local) {
            if (!preparedShapes[local]) {
                preparedShapes[local] =
                    Prepared(GEOSPrepare_r(ctx, shape(local)), PreparedDeleter{ctx});
                if (!preparedShapes[local]) {
                    throw LocalityShapeFailure(Of::Segment, group[local],
                                               geos.said("cannot be prepared"));
                }
            }
            return preparedShapes[local].get();
        };
        auto consider = [&](size_t a, size_t b) {
            const uint32_t sa = group[a], sb = group[b];
            if (streets.find(sa) == streets.find(sb)) {
                return;
            }
            // Most segments of a street meet end to end.
            if (shareAnEnd(segments[sa], segments[sb])) {
                streets.unite(sa, sb);
                return;
            }
            const char near =
                distance > 0 ? GEOSPreparedDistanceWithin_r(ctx, prepared(a), shape(b), distance)
                             : GEOSPreparedIntersects_r(ctx, prepared(a), shape(b));
            if (near == 2) {
                throw LocalityShapeFailure(Of::Segment, sb, geos.said("cannot be compared"));
            }
            if (near == 1) {
                streets.unite(sa, sb);
            }
        };
        if (n <= static_cast<size_t>(PackedRTree::kNodeSize)) {
            for (size_t a = 0; a < n; ++a) {
                const Box reach = grown(boxes[group[a]], distance);
                for (size_t b = a + 1; b < n; ++b) {
                    if (reach.intersects(boxes[group[b]])) {
                        consider(a, b);
                    }
                }
            }
            continue;
        }
        floatBoxes.clear();
        items.clear();
        for (size_t i = 0; i < n; ++i) {
            floatBoxes.push_back(FloatBox::around(boxes[group[i]]));
            items.push_back(static_cast<uint32_t>(i));
        }
        const PackedRTree tree(floatBoxes, items);
        for (size_t a = 0; a < n; ++a) {
            tree.visit(grown(boxes[group[a]], distance), [&](uint32_t b, const FloatBox&) {
                if (b > a) {
                    consider(a, b);
                }
            });
        }
    }
}

// What of a street lies in a locality.
struct Share {
    uint32_t street;
    uint32_t locality;
    Measure measure;
};

// Whether `amount` is more than `best` by more than a billionth.
bool clearlyMore(double amount, double best) {
    return amount > best + 1e-9 * std::max(std::fabs(amount), std::fabs(best));
}

}  // namespace

StreetLocalityResult findStreetLocalities(const std::vector<StreetSegment>& segments,
                                          const std::vector<LocalityArea>& localities,
                                          const StreetLocalityRule& rule) {
    if (!(rule.joinDistance >= 0) || !std::isfinite(rule.joinDistance)) {
        throw std::invalid_argument("The join distance must be a number of at least 0.");
    }
    const Geos geos;
    StreetLocalityResult result;
    const size_t n = segments.size();
    result.streetOf.assign(n, -1);

    // The segments that can be part of a street: a key and a shape with points.
    std::vector<Box> boxes(n);
    std::vector<uint32_t> taking;
    int32_t keyCount = 0;
    for (size_t i = 0; i < n; ++i) {
        const StreetSegment& s = segments[i];
        keyCount = std::max(keyCount, s.key + 1);
        if (s.key >= 0 && s.wkb && s.size > 0 && wkbBounds(s.wkb, s.size, boxes[i])) {
            taking.push_back(static_cast<uint32_t>(i));
        }
    }
    Streets sets(n);
    joinSegments(geos, segments, boxes, taking, keyCount, rule.joinDistance, sets);

    // Streets numbered in the order of their first segments.
    std::vector<int32_t> numberOfRoot(n, -1);
    for (const uint32_t s : taking) {
        int32_t& number = numberOfRoot[sets.find(s)];
        if (number < 0) {
            number = static_cast<int32_t>(result.keyOf.size());
            result.keyOf.push_back(segments[s].key);
        }
        result.streetOf[s] = number;
    }
    const size_t streetCount = result.keyOf.size();

    // What of each street lies in each locality its segments' boxes meet.
    std::vector<Share> shares;
    {
        Overlay overlay(geos, localities);
        std::vector<uint32_t> candidates;
        for (const uint32_t s : taking) {
            overlay.candidates(boxes[s], candidates);
            if (candidates.empty()) {
                continue;
            }
            const Geometry shape = overlay.readSegment(segments[s], s);
            for (const uint32_t at : candidates) {
                const Measure m = overlay.measure(shape.get(), s, at);
                if (m.dimension >= 0 && m.amount > 0) {
                    shares.push_back({static_cast<uint32_t>(result.streetOf[s]), at, m});
                }
            }
        }
    }
    // By street, highest dimension first, then by locality.
    std::sort(shares.begin(), shares.end(), [](const Share& a, const Share& b) {
        if (a.street != b.street) {
            return a.street < b.street;
        }
        if (a.measure.dimension != b.measure.dimension) {
            return a.measure.dimension > b.measure.dimension;
        }
        return a.locality < b.locality;
    });
    result.localityOf.assign(streetCount, -1);
    for (size_t i = 0; i < shares.size();) {
        const uint32_t street = shares[i].street;
        const int dimension = shares[i].measure.dimension;
        double best = 0;
        int32_t bestLocality = -1;
        while (i < shares.size() && shares[i].street == street &&
               shares[i].measure.dimension == dimension) {
            const uint32_t locality = shares[i].locality;
            double amount = 0;
            for (; i < shares.size() && shares[i].street == street &&
                   shares[i].measure.dimension == dimension && shares[i].locality == locality;
                 ++i) {
                amount += shares[i].measure.amount;
            }
            if (bestLocality < 0 || clearlyMore(amount, best)) {
                best = amount;
                bestLocality = static_cast<int32_t>(locality);
            }
        }
        result.localityOf[street] = bestLocality;
        while (i < shares.size() && shares[i].street == street) {
            ++i;  // shares of lower dimensions
        }
    }

    // Per key: the locality names of its streets.
    struct Placed {
        int32_t key;
        uint32_t name;
    };
    std::vector<Placed> placed;
    for (size_t s = 0; s < streetCount; ++s) {
        if (result.localityOf[s] >= 0) {
            placed.push_back(
                {result.keyOf[s], localities[static_cast<size_t>(result.localityOf[s])].name});
        }
    }
    std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return a.key != b.key ? a.key < b.key : a.name < b.name;
    });
    result.split.assign(static_cast<size_t>(keyCount), 0);
    result.toCheck.assign(static_cast<size_t>(keyCount), 0);
    for (size_t i = 0; i < placed.size(); ++i) {
        const size_t key = static_cast<size_t>(placed[i].key);
        if (i + 1 < placed.size() && placed[i + 1].key == placed[i].key) {
            if (placed[i + 1].name == placed[i].name) {
                result.toCheck[key] = 1;
            } else {
                result.split[key] = 1;
            }
        }
    }
    result.shown.assign(streetCount, 0);
    for (size_t s = 0; s < streetCount; ++s) {
        const size_t key = static_cast<size_t>(result.keyOf[s]);
        result.shown[s] = result.localityOf[s] >= 0 && (rule.always || result.split[key]);
    }
    return result;
}

}  // namespace bramlotte::search
