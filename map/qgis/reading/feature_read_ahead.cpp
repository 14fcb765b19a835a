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

void FeatureReadAhead::setHelper(Helper help) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        helper_ = help ? std::make_shared<const Helper>(std::move(help)) : nullptr;
    }
    emptied_.notify_all();  // a reader waiting for room may help now
}

bool FeatureReadAhead::helpOne(std::unique_lock<std::mutex>& lock) {
    if (!helper_) {
        return false;
    }
    for (auto batch = batches_.rbegin(); batch != batches_.rend(); ++batch) {
        if (batch->helpBegun == batch->features.size()) {
            continue;
        }
        const size_t at = batch->features.size() - ++batch->helpBegun;
        std::atomic<uint8_t>& state = batch->help[at];
        state.store(kHelping, std::memory_order_relaxed);  // seen by the taker under the lock
        // The batch may go to the taker meanwhile: its features and states
        // stay where they are, and the taker waits for this one.
        const QgsFeature& feature = batch->features[at];
        const uint64_t number = batch->first + at;
        const std::shared_ptr<const Helper> help = helper_;
        lock.unlock();
        (*help)(feature, number);
        state.store(kHelped, std::memory_order_release);
        lock.lock();
        return true;
    }
    return false;
}

void FeatureReadAhead::read() {
    ReadErrorScope scope(errors_);
    host::SkippedShapes skipped;
    try {
        for (bool more = true; more;) {
            Batch batch;
            batch.features.reserve(kBatch);
            while (batch.features.size() < kBatch) {
                batch.features.emplace_back();  // read in place: no shared copy to part from
                if (!qgishost::nextFeature(iterator_, batch.features.back(), scope, skipped)) {
                    batch.features.pop_back();
                    more = false;
                    break;
                }
            }
            batch.first = read_;
            read_ += batch.features.size();
            batch.help = std::make_unique<std::atomic<uint8_t>[]>(batch.features.size());
            for (size_t i = 0; i < batch.features.size(); ++i) {
                batch.help[i].store(kOpen, std::memory_order_relaxed);
            }
            std::vector<Batch> spent;  // freed once the lock is let go
            std::unique_lock<std::mutex> lock(mutex_);
            // While the taker is behind, its work on features ahead of it.
            while (!stopping_ && batches_.size() >= kMostBatches) {
                if (!helpOne(lock)) {
                    emptied_.wait(lock);
                }
            }
            spent.swap(spent_);
            if (stopping_) {
                break;
            }
            if (!batch.features.empty()) {
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
    std::unique_lock<std::mutex> lock(mutex_);
    finished_ = true;
    filled_.notify_one();
    // Every feature is read: what help is left the taker need not wait for.
    while (!stopping_ && !failure_ && helpOne(lock)) {
    }
}

host::SkippedShapes FeatureReadAhead::skippedShapes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return skipped_;
}

bool FeatureReadAhead::nextFeature(QgsFeature& f) {
    if (next_ == taking_.features.size()) {
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
    // The reader helps only batches not yet taken: help under way for this
    // feature (one feature's) is waited for, none begins now.
    const std::atomic<uint8_t>& state = taking_.help[next_];
    uint8_t seen = state.load(std::memory_order_acquire);
    while (seen == kHelping) {
        std::this_thread::yield();
        seen = state.load(std::memory_order_acquire);
    }
    lastHelped_ = seen == kHelped;
    lastNumber_ = taking_.first + next_;
    f = std::move(taking_.features[next_++]);
    return true;
}

}  // namespace bramlotte::qgishost
