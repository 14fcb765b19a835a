// A feature iterator read on a thread of its own, a few hundred features
// ahead of the one who takes them: a walk that searches at every feature
// (a page at a time) then finds the next one read while it searched. While
// the taker is behind, the reader can do work of the taker's for features
// it has not reached yet (see setHelper).
#pragma once

#include "map/qgis/reading/read_errors.h"

#include <qgsfeature.h>
#include <qgsfeatureiterator.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace bramlotte::qgishost {

class FeatureReadAhead {
  public:
    // Takes over `iterator`, made on the layer's own thread, reading the
    // layer named `layerName`.
    FeatureReadAhead(QgsFeatureIterator iterator, QString layerName);
    ~FeatureReadAhead();
    FeatureReadAhead(const FeatureReadAhead&) = delete;
    FeatureReadAhead& operator=(const FeatureReadAhead&) = delete;

    // The next feature in the iterator's order; false after the last.
    // Throws support::Failure when the data source reported an error.
    bool nextFeature(QgsFeature& f);
    // The features read so far that came without the shapes their data
    // source could not read.
    host::SkippedShapes skippedShapes();

    // Work for a feature read, given the feature and its number (0, 1, 2 …
    // in the order read). It must not throw.
    using Helper = std::function<void(const QgsFeature& f, uint64_t number)>;
    // From now on, while the taker is behind (as many features read as are
    // held), the reader does `help` for features not yet taken, the ones
    // furthest ahead first; a feature is taken only once its help is done.
    // Each feature is helped at most once, and one not helped before it is
    // taken is never helped. At most kMostAhead features beyond the one
    // taken last are helped.
    void setHelper(Helper help);
    static constexpr size_t kBatch = 256;      // features handed over at once
    static constexpr size_t kMostBatches = 8;  // read ahead at most
    static constexpr uint64_t kMostAhead = (kMostBatches + 1) * kBatch;
    // The number of the feature nextFeature gave last, and whether it was
    // helped.
    uint64_t lastNumber() const { return lastNumber_; }
    bool lastHelped() const { return lastHelped_; }

  private:
    // A feature's help: not begun, under way, done.
    enum HelpState : uint8_t { kOpen, kHelping, kHelped };
    struct Batch {
        std::vector<QgsFeature> features;
        uint64_t first = 0;                            // the number of its first feature
        std::unique_ptr<std::atomic<uint8_t>[]> help;  // a HelpState per feature
        size_t helpBegun = 0;  // how many of its features, from the last back, have help begun
    };

    void read();
    // Does the help of one feature not yet begun, the furthest ahead first,
    // with `lock` let go meanwhile; false when there is none.
    bool helpOne(std::unique_lock<std::mutex>& lock);

    QgsFeatureIterator iterator_;
    QString layerName_;
    ReadErrors errors_;
    std::mutex mutex_;
    std::condition_variable filled_, emptied_;
    std::deque<Batch> batches_;  // read, not yet taken
    // Taken batches, freed by the reader: it made their features, and
    // memory goes back fastest to the thread that took it.
    std::vector<Batch> spent_;
    std::shared_ptr<const Helper> helper_;
    bool finished_ = false;  // the reader is done
    bool stopping_ = false;  // the taker is gone
    std::exception_ptr failure_;
    host::SkippedShapes skipped_;  // as of the last batch handed over
    Batch taking_;                 // the batch being taken
    size_t next_ = 0;
    uint64_t read_ = 0;  // features read
    uint64_t lastNumber_ = 0;
    bool lastHelped_ = false;
    std::thread reader_;  // last: it starts once everything else is made
};

}  // namespace bramlotte::qgishost
