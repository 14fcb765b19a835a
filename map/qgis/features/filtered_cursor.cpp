#include "map/qgis/features/filtered_cursor.h"

#include "map/qgis/features/qgis_shape.h"
#include "map/qgis/features/value_conversion.h"
#include "map/search/rectangle_meet.h"
#include "map/search/spatial_relation.h"
#include "map/search/wkb.h"

#include <qgsgeos.h>
#include <qgsvectordataprovider.h>

#include <qgscurve.h>
#include <qgsgeometrycollection.h>
#include <qgslinestring.h>
#include <qgspolygon.h>

namespace bramlotte::qgishost {
namespace {

using search::Box;

// A feature held by a feature store. Values put into it wait for the
// cursor's updateFeature.
class StoreFeature : public host::Feature {
  public:
    StoreFeature(FeatureStore& store, size_t row, const FilteredCursor* owner)
        : store_(&store), row_(row), owner_(owner) {}

    long long id() const override { return store().table().id(row_); }
    long long position() const override { return static_cast<long long>(row_); }
    std::shared_ptr<const host::Shape> shape() const override {
        return std::make_shared<QgisShape>(store().geometry(row_), store().layer().crs());
    }
    QVariant value(int index) const override {
        for (const auto& [field, value] : pending_) {
            if (field == index) {
                return value;
            }
        }
        return store().table().value(row_, index);
    }
    long long valueCode(int index) const override {
        for (const auto& pending : pending_) {
            if (pending.first == index) {
                return -1;
            }
        }
        // Each read of the layer numbers its values afresh.
        const int64_t code = store().table().valueCode(row_, index);
        return code < 0 ? -1 : (static_cast<long long>(store().loadCount()) << 32) | code;
    }
    void putValue(int index, const QString& text) override {
        const QgsFields fields = store().layer().dataProvider()->fields();
        if (index < 0 || index >= fields.count()) {
            throw support::Failure(support::error::kInvalidArgument,
                                   QStringLiteral("Field index %1 is out of range.").arg(index));
        }
        QVariant value = convertForField(fields.at(index), text);
        for (auto& [field, pending] : pending_) {
            if (field == index) {
                pending = std::move(value);
                return;
            }
        }
        pending_.emplace_back(index, std::move(value));
    }

    size_t row() const { return row_; }
    const FilteredCursor* owner() const { return owner_; }
    // Values put and not yet stored, by field index (a feature has few).
    const std::vector<std::pair<int, QVariant>>& pending() const { return pending_; }
    void clearPending() { pending_.clear(); }

  private:
    FeatureStore& store() const {
        if (!store_) {
            throw support::Failure(support::error::kFail,
                                   QStringLiteral("The layer no longer exists."));
        }
        return *store_;
    }
    QPointer<FeatureStore> store_;
    size_t row_;
    const FilteredCursor* owner_;
    std::vector<std::pair<int, QVariant>> pending_;
};

bool strictlyInside(const Box& inner, const Box& outer) {
    return outer.xmin < inner.xmin && inner.xmax < outer.xmax && outer.ymin < inner.ymin &&
           inner.ymax < outer.ymax;
}

// Whether the shape of `candidate` meets the axis-aligned rectangle `box`:
// inside the rectangle a shape meets it; points and lines crossing its edge
// their coordinates decide; nullopt for what only GEOS can tell.
std::optional<bool> meetsRectangle(const store::FeatureTable& table,
                                   const store::FeatureTable::Candidate& candidate,
                                   const Box& box) {
    if (box.contains(candidate.box.widened())) {
        return true;
    }
    size_t size = 0;
    const unsigned char* wkb = table.wkb(candidate.row, size);
    return search::wkbMeetsRectangle(wkb, size, box);
}

}  // namespace

Box boxOf(const QgsGeometry& g) {
    const QgsRectangle r = g.boundingBox();
    return {r.xMinimum(), r.yMinimum(), r.xMaximum(), r.yMaximum()};
}

// A collection of that one polygon alone (pages loaded as multipolygons) is
// the same set of points, and meets every shape as the polygon does.
bool isAxisAlignedRectangle(const QgsGeometry& g) {
    const QgsAbstractGeometry* shape = g.constGet();
    if (const auto* parts = qgsgeometry_cast<const QgsGeometryCollection*>(shape)) {
        shape = parts->numGeometries() == 1 ? parts->geometryN(0) : nullptr;
    }
    const auto* polygon = qgsgeometry_cast<const QgsPolygon*>(shape);
    if (!polygon || polygon->numInteriorRings() > 0) {
        return false;
    }
    // A ring of straight segments, read from its coordinate arrays (a page
    // is tested once per search).
    const auto* ring = qgsgeometry_cast<const QgsLineString*>(polygon->exteriorRing());
    const QgsRectangle box = g.boundingBox();
    if (!ring || ring->numPoints() != 5 || box.width() <= 0 || box.height() <= 0) {
        return false;
    }
    const double* x = ring->xData();
    const double* y = ring->yData();
    for (int i = 0; i < 5; ++i) {
        const bool onX = x[i] == box.xMinimum() || x[i] == box.xMaximum();
        const bool onY = y[i] == box.yMinimum() || y[i] == box.yMaximum();
        if (!onX || !onY) {
            return false;
        }
    }
    // The four corners, each once, and every side along one axis: the ring
    // goes round the box, rather than crossing it as a bow tie through the
    // same corners does, or going back on itself.
    for (int i = 0; i < 4; ++i) {
        if ((x[i] == x[i + 1]) == (y[i] == y[i + 1])) {
            return false;
        }
        for (int j = 0; j < i; ++j) {
            if (x[i] == x[j] && y[i] == y[j]) {
                return false;
            }
        }
    }
    return x[4] == x[0] && y[4] == y[0];
}

std::optional<std::vector<uint32_t>> rowsMeetingRectangle(const store::FeatureTable& table,
                                                          const Box& rectangle) {
    std::vector<uint32_t> rows;
    for (const store::FeatureTable::Candidate& candidate : table.candidates(rectangle)) {
        const std::optional<bool> meets = meetsRectangle(table, candidate, rectangle);
        if (!meets) {
            return std::nullopt;
        }
        if (*meets) {
            rows.push_back(candidate.row);
        }
    }
    return rows;
}

FilteredCursor::FilteredCursor(FeatureStore& store, bool forUpdate)
    : store_(&store), forUpdate_(forUpdate) {}

FilteredCursor::FilteredCursor(FeatureStore& store, bool forUpdate,
                               const std::vector<uint32_t>& rows)
    : store_(&store), forUpdate_(forUpdate), decided_(true) {
    candidates_.reserve(rows.size());
    for (const uint32_t row : rows) {
        candidates_.push_back({row, {}});
    }
}

FilteredCursor::FilteredCursor(FeatureStore& store, bool forUpdate, const QgsGeometry& query,
                               int32_t code)
    : store_(&store), forUpdate_(forUpdate), code_(code), queryBox_(boxOf(query)) {
    candidates_ = store.table().candidates(queryBox_);
    if (code == host::relation::kEnvelopeIntersects || candidates_.empty()) {
        return;
    }
    queryIsRectangle_ = isAxisAlignedRectangle(query);
    query_ = query;
}

void FilteredCursor::prepare() {
    // Only candidates their boxes cannot decide need the query in GEOS.
    ctx_ = QgsGeos::getGEOSHandler();
    geosQuery_ = search::GeosGeometry(QgsGeos::asGeos(query_).release(), {ctx_});
    if (!geosQuery_) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The query shape cannot be used for a search."));
    }
    prepared_ = search::GeosPrepared(GEOSPrepare_r(ctx_, geosQuery_.get()), {ctx_});
    reader_ = search::GeosReader(GEOSWKBReader_create_r(ctx_), {ctx_});
    if (!prepared_ || !reader_) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The query shape cannot be prepared."));
    }
}

FeatureStore& FilteredCursor::store() const {
    if (!store_) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The layer no longer exists."));
    }
    return *store_;
}

bool FilteredCursor::matches(const store::FeatureTable::Candidate& candidate) {
    const uint32_t row = candidate.row;
    const Box b = candidate.box.widened();
    if (queryIsRectangle_) {
        if (code_ == host::relation::kIntersects) {
            if (const std::optional<bool> meets =
                    meetsRectangle(store().table(), candidate, queryBox_)) {
                return *meets;
            }
        }
        // Strictly inside the rectangle a shape is within it.
        if (code_ == host::relation::kContains && strictlyInside(b, queryBox_)) {
            return true;
        }
    }
    switch (code_) {
        case host::relation::kEnvelopeIntersects: {
            // The tree compared held boxes; the answer needs the exact one.
            size_t size = 0;
            const unsigned char* wkb = store().table().wkb(row, size);
            Box exact;
            return search::wkbBounds(wkb, size, exact) && exact.intersects(queryBox_);
        }
        case host::relation::kContains:
            if (!queryBox_.contains(b)) {
                return false;
            }
            break;
        case host::relation::kIsWithin:
            if (!b.contains(queryBox_)) {
                return false;
            }
            break;
        default:
            break;
    }
    if (!prepared_) {
        prepare();
    }
    size_t size = 0;
    const unsigned char* wkb = store().table().wkb(row, size);
    const search::GeosGeometry g(GEOSWKBReader_read_r(ctx_, reader_.get(), wkb, size), {ctx_});
    if (!g) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The shape of feature %1 of layer %2 cannot be read.")
                                   .arg(store().table().id(row))
                                   .arg(store().layer().name()));
    }
    const std::optional<bool> holds = search::relationHolds(ctx_, code_, prepared_.get(), g.get());
    if (!holds) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The shape of feature %1 of layer %2 cannot be "
                                              "compared (is it a valid geometry?).")
                                   .arg(store().table().id(row))
                                   .arg(store().layer().name()));
    }
    return *holds;
}

std::unique_ptr<host::Feature> FilteredCursor::nextFeature() {
    while (next_ < candidates_.size()) {
        const store::FeatureTable::Candidate& candidate = candidates_[next_++];
        if (decided_ || matches(candidate)) {
            return std::make_unique<StoreFeature>(store(), candidate.row, this);
        }
    }
    return nullptr;
}

void FilteredCursor::updateFeature(host::Feature& feature) {
    auto* f = dynamic_cast<StoreFeature*>(&feature);
    if (!forUpdate_ || !f || f->owner() != this) {
        throw support::Failure(
            support::error::kInvalidArgument,
            QStringLiteral("The feature does not belong to this update cursor."));
    }
    FeatureStore& s = store();
    if (!s.transactionOpen()) {
        throw support::Failure(
            support::error::kFail,
            QStringLiteral("Layer %1 is not open for editing.").arg(s.layer().name()));
    }
    for (const auto& [field, value] : f->pending()) {
        s.stageValue(f->row(), field, value);
    }
    f->clearPending();
}

}  // namespace bramlotte::qgishost
