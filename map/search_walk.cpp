// The host's searches of a walk made one at a time, when asked for.
#include "map/host.h"

namespace bramlotte::host {
namespace {

class InTurn : public SearchWalk {
  public:
    InTurn(FeatureClass& searched, std::unique_ptr<FeatureCursor> walk, SpatialFilter filter,
           bool update)
        : searched_(searched),
          walk_(std::move(walk)),
          filter_(std::move(filter)),
          update_(update) {}

    std::unique_ptr<Feature> nextFeature() override { return walk_->nextFeature(); }
    std::unique_ptr<FeatureCursor> related(std::shared_ptr<const Shape> shape) override {
        filter_.geometry = std::move(shape);
        return update_ ? searched_.update(filter_) : searched_.search(filter_);
    }
    SkippedShapes skippedShapes() const override { return walk_->skippedShapes(); }

  private:
    FeatureClass& searched_;
    std::unique_ptr<FeatureCursor> walk_;
    SpatialFilter filter_;
    bool update_;
};

}  // namespace

std::unique_ptr<SearchWalk> FeatureClass::searchEach(std::unique_ptr<FeatureCursor> walk,
                                                     const SpatialFilter& filter, bool update) {
    return searchInTurn(*this, std::move(walk), filter, update);
}

std::unique_ptr<SearchWalk> searchInTurn(FeatureClass& searched,
                                         std::unique_ptr<FeatureCursor> walk,
                                         const SpatialFilter& filter, bool update) {
    return std::make_unique<InTurn>(searched, std::move(walk), filter, update);
}

}  // namespace bramlotte::host
