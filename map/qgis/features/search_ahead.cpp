#include "map/qgis/features/search_ahead.h"

#include "map/qgis/features/filtered_cursor.h"
#include "map/qgis/features/layer_cursor.h"
#include "map/qgis/features/qgis_feature_class.h"
#include "map/qgis/reading/feature_read_ahead.h"
#include "map/qgis/reading/feature_store.h"

#include <qgsfeature.h>

#include <mutex>
#include <shared_mutex>
#include <vector>

namespace bramlotte::qgishost {

// The searches the reader made, a slot per feature number modulo their count:
// twice as many as the reader ever works ahead of the feature taken, so a
// slot is never rewritten while its feature is in use.
struct SearchAhead::Searches {
    struct Slot {
        uint64_t number = UINT64_MAX;  // the feature searched for
        bool made = false;             // false: left to the caller
        std::vector<uint32_t> rows;    // the rows met, in row order
    };

    Searches(std::shared_ptr<StoreGate> gate, int loadCount)
        : gate(std::move(gate)), loadCount(loadCount), byNumber(2 * FeatureReadAhead::kMostAhead) {}

    // On the reader's thread: the search for feature `number`, where the
    // page's box and the streets' coordinates decide it.
    void search(const QgsFeature& feature, uint64_t number) noexcept {
        Slot& slot = byNumber[number % byNumber.size()];
        slot.number = number;
        slot.made = false;
        try {
            if (!feature.hasGeometry()) {
                return;
            }
            const QgsGeometry shape = feature.geometry();
            if (shape.isEmpty() || !isAxisAlignedRectangle(shape)) {
                return;
            }
            const search::Box box = boxOf(shape);
            const std::shared_lock<std::shared_mutex> reading(gate->mutex);
            if (!gate->table || gate->loadCount != loadCount) {
                return;  // the rows are gone or read anew
            }
            if (std::optional<std::vector<uint32_t>> rows =
                    rowsMeetingRectangle(*gate->table, box)) {
                slot.rows = std::move(*rows);
                slot.made = true;
            }
        } catch (...) {
            slot.made = false;  // the caller searches again and meets the failure itself
        }
    }

    const std::shared_ptr<StoreGate> gate;
    const int loadCount;
    std::vector<Slot> byNumber;
};

std::unique_ptr<SearchAhead> SearchAhead::open(std::unique_ptr<host::FeatureCursor>& walk,
                                               QgisFeatureClass& searched,
                                               const host::SpatialFilter& filter, bool update) {
    auto* layerWalk = dynamic_cast<LayerCursor*>(walk.get());
    FeatureReadAhead* readAhead = layerWalk ? layerWalk->readAhead() : nullptr;
    if (!readAhead || filter.spatialRel != host::relation::kIntersects) {
        return nullptr;
    }
    const QgsCoordinateReferenceSystem& walked = layerWalk->crs();
    const QgsCoordinateReferenceSystem searchedCrs = searched.layer().crs();
    if (walked.isValid() && searchedCrs.isValid() && walked != searchedCrs) {
        return nullptr;  // each page is transformed on the caller's thread
    }
    return std::unique_ptr<SearchAhead>(
        new SearchAhead(std::move(walk), *readAhead, searched, filter, update));
}

SearchAhead::SearchAhead(std::unique_ptr<host::FeatureCursor> walk, FeatureReadAhead& readAhead,
                         QgisFeatureClass& searched, const host::SpatialFilter& filter, bool update)
    : walk_(std::move(walk)),
      readAhead_(readAhead),
      searched_(searched),
      filter_(filter),
      update_(update) {}

SearchAhead::~SearchAhead() {
    readAhead_.setHelper(nullptr);
}

void SearchAhead::startSearches() {
    // The store is read for the first search, as a walk in turn reads it:
    // only now can the reader search it.
    FeatureStore& store = searched_.store();
    searches_ = std::make_shared<Searches>(store.gate(), store.loadCount());
    readAhead_.setHelper([searches = searches_](const QgsFeature& feature, uint64_t number) {
        searches->search(feature, number);
    });
}

std::unique_ptr<host::Feature> SearchAhead::nextFeature() {
    return walk_->nextFeature();
}

std::unique_ptr<host::FeatureCursor> SearchAhead::related(
    std::shared_ptr<const host::Shape> shape) {
    filter_.geometry = std::move(shape);
    // The checks and the load of a search in turn, whoever searched.
    const std::optional<QgsGeometry> query = searched_.queryOf(filter_, update_);
    FeatureStore& store = searched_.store();
    if (!query) {
        return std::make_unique<FilteredCursor>(store, update_);  // meets nothing
    }
    if (!searches_) {
        startSearches();
    }
    const uint64_t number = readAhead_.lastNumber();
    const Searches::Slot& slot = searches_->byNumber[number % searches_->byNumber.size()];
    if (readAhead_.lastHelped() && slot.number == number && slot.made &&
        searches_->loadCount == store.loadCount()) {
        ++searchedAhead_;
        return std::make_unique<FilteredCursor>(store, update_, slot.rows);
    }
    return std::make_unique<FilteredCursor>(store, update_, *query, filter_.spatialRel);
}

host::SkippedShapes SearchAhead::skippedShapes() const {
    return walk_->skippedShapes();
}

}  // namespace bramlotte::qgishost
