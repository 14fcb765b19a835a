// The rows of a GeoPackage table read straight from its SQLite file: the
// feature ids, the values of the chosen columns and the shapes, which a
// GeoPackage keeps as standard WKB behind a small header of its own.
#pragma once

#include "map/store/range_meeting.h"
#include "map/store/store_rows.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace bramlotte::store {

// How a column's values come out, as the host's own reader gives them.
enum class SourceType {
    Id,       // the feature id (the table's integer primary key)
    Int32,    // a 32-bit whole number
    Int64,    // a 64-bit whole number
    Real,     // a floating-point number
    Text,     // UTF-8 text
    Boolean,  // a whole number read as true (non-zero) or false
    Date,     // a date written "YYYY-MM-DD"
    Unread    // not read: the store column holds no values
};

struct GeoPackageColumn {
    QString name;  // the table's column (unused for the id)
    SourceType type = SourceType::Text;
};

struct GeoPackageQuery {
    QString path;            // the .gpkg file
    QString table;           // the feature table
    QString fidColumn;       // its integer primary key
    QString geometryColumn;  // its shape column
    QString filter;          // an SQL condition on the table's rows, or empty
    // Single points, lines and polygons are delivered as collections of one
    // part, as the host does for a layer of multipart shapes.
    bool promoteToMulti = false;
    std::vector<GeoPackageColumn> columns;  // one per store column, in order
    // The lowest and highest feature id of the table (none: last below first).
    qint64 firstId = 0, lastId = -1;
    // Asked of a shape this reader finds malformed: whether the host's own
    // reader reads it nonetheless. Where it does not either, the row is held
    // without its shape, as unreadable; where it does (or nobody can tell),
    // the whole read is left to the host.
    std::function<bool(const unsigned char* wkb, size_t size)> hostReads;
};

// What a feature table holds: its shape column, the kind of shapes the
// GeoPackage declares for it ("LINESTRING", "MULTIPOLYGON", "GEOMETRY" …) and
// the names of all its columns.
struct GeoPackageTableInfo {
    QString geometryColumn;
    QString geometryType;
    std::vector<QString> columns;
};

// How a table's rows lie over their ids, so that a read can be cut into two
// halves of about as many rows whatever the ids are: feature ids are names,
// and OpenStreetMap's run to 10^9 with wide gaps in between.
struct RowSpread {
    long long rows = -1;  // the table's row count; -1 when the file does not keep it
    // The first id of the second half: the median id where the table's
    // spatial index can tell it cheaply, else the middle of the id range.
    qint64 middleId = 0;
};

// The spread of `table`'s rows (ids `firstId` … `lastId`), from what the
// GeoPackage keeps beside the table: its row count and the ids of its
// spatial index, which are few bytes each. Cheap: it never walks the table.
RowSpread rowSpreadOf(const QString& path, const QString& table, const QString& geometryColumn,
                      qint64 firstId, qint64 lastId);

// nullopt when the file cannot be opened here or `table` is no feature table
// of it with one shape column.
std::optional<GeoPackageTableInfo> geoPackageTableInfo(const QString& path, const QString& table);

// Whether the host delivers the shapes of a layer of `geometryType` as
// multipart shapes (see GeoPackageQuery::promoteToMulti).
bool deliveredAsMultipart(const QString& geometryType);

// For each column of `query`, whether the store keeps its values as whole
// numbers (the id and the whole-number columns; not the booleans).
std::vector<bool> integerColumnsOf(const GeoPackageQuery& query);

// The rows of `query` whose ids lie in [firstId, lastId], in the table's
// order, with room reserved for `reserveRows` rows and their shapes (rows
// to be appended later included). nullopt when this reader cannot stand in for the host's: SQLite
// refuses the file or the query before the first row, or a value or shape is
// not of a form it converts as the host would (a curve, an extended header,
// a date in another form). Throws support::Failure (read failed, naming
// `layerName` and SQLite's words) when SQLite reports an error during the
// read: a damaged page ends a read with a failure, never early.
std::optional<StoreRows> readGeoPackageRows(const GeoPackageQuery& query, qint64 firstId,
                                            qint64 lastId, const QString& layerName,
                                            size_t reserveRows = 0);

// The rows of a table one at a time, for a walk that hands each on as it
// comes: values as the host gives them, shapes as the table keeps them.
class GeoPackageRowCursor {
  public:
    // The rows of `query` in ascending id order; nullptr when SQLite refuses
    // the file or the query.
    static std::unique_ptr<GeoPackageRowCursor> open(const GeoPackageQuery& query,
                                                     const QString& layerName);
    ~GeoPackageRowCursor();
    GeoPackageRowCursor(const GeoPackageRowCursor&) = delete;
    GeoPackageRowCursor& operator=(const GeoPackageRowCursor&) = delete;

    // The next row; false after the last. Throws support::Failure (read
    // failed, naming the layer) when SQLite reports an error.
    bool next();
    qint64 id() const;
    // The value of store column `column` of the row; false for a value this
    // reader does not convert as the host would.
    bool value(size_t column, QVariant& value) const;
    // The row's shape: false for a blob this reader does not know; else
    // `wkb` is its standard WKB (nullptr for no shape) and `empty` tells an
    // empty one.
    bool shape(const unsigned char*& wkb, size_t& size, bool& empty) const;

  private:
    GeoPackageRowCursor() = default;
    struct Open;
    std::unique_ptr<Open> open_;
};

// Which end of a shared range a read starts from (see RangeMeeting).
enum class RangeEnd { Lowest, Highest };

// As readGeoPackageRows, one of the two readers of [firstId, lastId] that
// `meeting` shares: the rows taken, in ascending id order either way, up to
// where the reader from the other end stopped it.
std::optional<StoreRows> readGeoPackageRowsMeeting(const GeoPackageQuery& query, qint64 firstId,
                                                   qint64 lastId, const QString& layerName,
                                                   size_t reserveRows, RangeMeeting& meeting,
                                                   RangeEnd from);

}  // namespace bramlotte::store
