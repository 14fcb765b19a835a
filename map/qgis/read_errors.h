// What a data source says went wrong while its features were read. QGIS's
// feature iterators simply end early on a damaged file or a lost connection;
// the data source's own words go to GDAL's error handler or to QGIS's
// message log. A read in a ReadErrorScope gathers them, so that the reader
// can fail loudly instead of delivering part of a layer.
#pragma once

#include <QString>
#include <QStringList>

#include <mutex>

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

// While it lives, the calling thread's data-source errors go to `errors`.
// Scopes nest; each belongs to the thread that made it.
class ReadErrorScope {
  public:
    explicit ReadErrorScope(ReadErrors& errors);
    ~ReadErrorScope();
    ReadErrorScope(const ReadErrorScope&) = delete;
    ReadErrorScope& operator=(const ReadErrorScope&) = delete;

  private:
    ReadErrors* outer_;
};

}  // namespace bramlotte::qgishost
