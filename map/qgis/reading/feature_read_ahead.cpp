#include "map/qgis/reading/feature_read_ahead.h"

namespace bramlotte::qgishost {

FeatureReadAhead::FeatureReadAhead(QgsFeatureIterator iterator, QString layerName)
    : iterator_(std::move(iterator)),
      layerName_(std::move(layerName)),
      reader_([this] { read(); }) {}

FeatureReadAhead::~FeatureReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    emptied_.notify_all();
    reader_.join();
}

void FeatureReadAhead::read() {
    ReadErrorScope scope(errors_);
    host::SkippedShapes skipped;
    try {
        for (bool more = true; more;) {
            std::vector<QgsFeature> batch;
            batch.reserve(kBatch);
            while (batch.size() < kBatch) {
                batch.emplace_back();  // read in place: no shared copy to part from
                if (!qgishost::nextFeature(iterator_, batch.back(), scope, skipped)) {
                    batch.pop_back();
                    more = false;
                    break;
                }
            }
            std::vector<std::vector<QgsFeature>> spent;  // freed once the lock is let go
            std::unique_lock<std::mutex> lock(mutex_);
            emptied_.wait(lock, [this] { return stopping_ || batches_.size() < kMostBatches; });
            spent.swap(spent_);
            if (stopping_) {
                break;
            }
            if (!batch.empty()) {
                batches_.push_back(std::move(batch));
            }
            skipped_ = skipped;
            if (!more) {
                errors_.check(layerName_);  // an early end is a failure, not the last feature
            }
            lock.unlock();
            filled_.notify_one();
        }
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        failure_ = std::current_exception();
    }
    iterator_.close();  // its data source connection goes back where it came from
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    filled_.notify_one();
}

host::SkippedShapes FeatureReadAhead::skippedShapes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return skipped_;
}

bool FeatureReadAhead::nextFeature(QgsFeature& f) {
    if (next_ == taking_.size()) {
        std::unique_lock<std::mutex> lock(mutex_);
        filled_.wait(lock, [this] { return finished_ || !batches_.empty(); });
        if (batches_.empty()) {
            if (failure_) {
                std::rethrow_exception(failure_);
            }
            return false;
        }
        // A feature taken may still be held: only the batch's own copies go.
        spent_.push_back(std::move(taking_));
        taking_ = std::move(batches_.front());
        batches_.pop_front();
        next_ = 0;
        lock.unlock();
        emptied_.notify_one();
    }
    f = std::move(taking_[next_++]);
    return true;
}

}  // namespace bramlotte::qgishost
