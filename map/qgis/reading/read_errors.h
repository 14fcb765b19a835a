// What a data source says went wrong while its features were read. QGIS's
// feature iterators simply end early on a damaged file or a lost connection;
// the data source's own words go to GDAL's error handler or to QGIS's
// message log. A read in a ReadErrorScope gathers them, so that the reader
// can fail loudly instead of delivering part of a layer.
#pragma once

#include "map/skipped_shapes.h"

#include <QString>
#include <QStringList>

#include <mutex>

class QgsFeature;
class QgsFeatureIterator;

namespace bramlotte::qgishost {

// The errors gathered for one read, from every thread that took part.
class ReadErrors {
  public:
    void add(const QString& text);
    bool any() const;
    QStringList texts() const;
    // Throws support::Failure naming `layerName` and the gathered texts when
    // any error was seen.
    void check(const QString& layerName) const;

  private:
    // A damaged file may report every feature after the damage: the first
    // few texts tell the cause, the count the extent.
    static constexpr int kTextsKept = 3;
    mutable std::mutex mutex_;
    QStringList texts_;
    int more_ = 0;  // errors beyond the texts kept
};

// While it lives, the calling thread's data-source errors go to `errors`:
// each waits, pending, until the reader has seen what came with it (see
// nextFeature), and goes to `errors` at the latest when the scope ends.
// Scopes nest; each belongs to the thread that made it.
class ReadErrorScope {
  public:
    explicit ReadErrorScope(ReadErrors& errors);
    ~ReadErrorScope();
    ReadErrorScope(const ReadErrorScope&) = delete;
    ReadErrorScope& operator=(const ReadErrorScope&) = delete;

    bool pending() const { return !pending_.isEmpty(); }
    // Whether every pending error speaks of parsing a shape (its geometry,
    // its WKB), not of reading the data source.
    bool pendingAreAboutShapes() const;
    void add(const QString& text) { pending_ << text; }
    // The pending errors are the read's.
    void settle();
    // The pending errors concerned one feature's shape alone.
    void forgive() { pending_.clear(); }

  private:
    ReadErrors& errors_;
    ReadErrorScope* outer_;
    QStringList pending_;
};

// The next feature of `it`, read in `scope`. Errors about parsing a shape
// that come with a feature delivered without its shape are that shape's: a
// blob its reader cannot parse spoils one feature, not the layer; `skipped`
// takes the feature's id. Any other error is the read's (a damaged page, a
// file cut short, a lost connection).
bool nextFeature(QgsFeatureIterator& it, QgsFeature& f, ReadErrorScope& scope,
                 host::SkippedShapes& skipped);

}  // namespace bramlotte::qgishost
