// A feature iterator read on a thread of its own, a few hundred features
// ahead of the one who takes them: a walk that searches at every feature
// (a page at a time) then finds the next one read while it searched.
#pragma once

#include "map/qgis/reading/read_errors.h"

#include <qgsfeature.h>
#include <qgsfeatureiterator.h>

#include <condition_variable>
#include <deque>
#include <exception>
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

  private:
    static constexpr size_t kBatch = 256;      // features handed over at once
    static constexpr size_t kMostBatches = 8;  // read ahead at most

    void read();

    QgsFeatureIterator iterator_;
    QString layerName_;
    ReadErrors errors_;
    std::mutex mutex_;
    std::condition_variable filled_, emptied_;
    std::deque<std::vector<QgsFeature>> batches_;  // read, not yet taken
    // Taken batches, freed by the reader: it made their features, and
    // memory goes back fastest to the thread that took it.
    std::vector<std::vector<QgsFeature>> spent_;
    bool finished_ = false;  // the reader is done
    bool stopping_ = false;  // the taker is gone
    std::exception_ptr failure_;
    host::SkippedShapes skipped_;     // as of the last batch handed over
    std::vector<QgsFeature> taking_;  // the batch being taken
    size_t next_ = 0;
    std::thread reader_;  // last: it starts once everything else is made
};

}  // namespace bramlotte::qgishost
