// A walk over a layer's features read ahead (see FeatureReadAhead) with a
// search of another layer's store at each, which the walk's reader makes
// ahead of the caller while the caller is behind: an atlas's pages, read on
// one core, searched there for the streets they meet while the other core
// gathers the index. The reader makes the searches the shapes' boxes and
// coordinates decide (pages that are rectangles: rowsMeetingRectangle);
// every other search is made on the caller's thread, as search() makes it.
#pragma once

#include "map/host.h"

#include <cstdint>
#include <memory>

class QgsFeature;

namespace bramlotte::qgishost {

class FeatureReadAhead;
class QgisFeatureClass;

class SearchAhead : public host::SearchWalk {
  public:
    // A walk of `walk` with a search (an update where `update`) of
    // `searched` by `filter` at each feature; nullptr, `walk` left as it
    // was, where none could be made ahead: a walk not read ahead, a
    // relationship other than intersection, a walk in another CRS than the
    // searched layer's.
    static std::unique_ptr<SearchAhead> open(std::unique_ptr<host::FeatureCursor>& walk,
                                             QgisFeatureClass& searched,
                                             const host::SpatialFilter& filter, bool update);
    ~SearchAhead() override;
    SearchAhead(const SearchAhead&) = delete;
    SearchAhead& operator=(const SearchAhead&) = delete;

    std::unique_ptr<host::Feature> nextFeature() override;
    std::unique_ptr<host::FeatureCursor> related(std::shared_ptr<const host::Shape> shape) override;
    host::SkippedShapes skippedShapes() const override;

    // How many related() calls took a search made ahead, for tests.
    uint64_t searchedAhead() const { return searchedAhead_; }

  private:
    struct Searches;  // the reader's, by feature number

    SearchAhead(std::unique_ptr<host::FeatureCursor> walk, FeatureReadAhead& readAhead,
                QgisFeatureClass& searched, const host::SpatialFilter& filter, bool update);
    void startSearches();

    std::unique_ptr<host::FeatureCursor> walk_;  // first: it outlives the reader's searches
    FeatureReadAhead& readAhead_;
    QgisFeatureClass& searched_;
    host::SpatialFilter filter_;
    bool update_;
    std::shared_ptr<Searches> searches_;  // once the store is loaded
    uint64_t searchedAhead_ = 0;
};

}  // namespace bramlotte::qgishost
