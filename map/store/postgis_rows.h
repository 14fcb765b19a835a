// The rows of a PostgreSQL table or view with a PostGIS shape column, read
// over libpq in binary: one COPY of the key, the shape as WKB and the chosen
// columns, converted as QGIS's PostgreSQL provider converts them.
#pragma once

#include "map/store/store_rows.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace bramlotte::store {

// How a column's values come out, as the provider gives them (it reads every
// value in its text form and converts that to the field's type).
enum class PgValue {
    Key,      // the key (int4, or int8 for a wide key), as a whole number
    Int16,    // int2, a whole number
    Int32,    // int4
    Int64,    // int8
    Float64,  // float8; the infinities come out null, as their text does not convert
    Numeric,  // numeric, its text read as a floating-point number
    Text,     // text, varchar or char (the text form: char's padding dropped)
    Boolean,  // bool
    Date,     // date; the infinities come out null
    Unread    // not read: the store column holds no values
};

struct PostGisColumn {
    QString name;
    PgValue type = PgValue::Text;
};

struct PostGisQuery {
    QString connectionInfo;  // libpq's "key=value …" form
    QString schema;          // empty: the server's search path finds the table
    QString table;
    // The key. For an int4 key a row's feature id is its key read as an
    // unsigned 32-bit number, as QGIS numbers such rows (-5 is 4294967291).
    QString keyColumn;
    // An int8 key (an OpenStreetMap id, say): a row's id is the key's own
    // value. QGIS numbers such rows otherwise, in a map of its own; rows
    // read so can be named by their ids but not found by them in QGIS.
    bool wideKey = false;
    QString geometryColumn;  // empty for a table without shapes
    QString filter;          // an SQL condition on the rows, or empty
    // The kind of shape the layer asks for ("MULTILINESTRINGZ"), or empty:
    // only the column's own declared kind reads as the provider would.
    QString geometryType;
    QString srid;                        // the layer's spatial reference id, or empty
    std::vector<PostGisColumn> columns;  // one per store column, in order
    // Shapes no search can use (a coordinate that is no number, a ring
    // without area) are held as they are, for the caller to judge, rather
    // than left out and named in the rows' `skipped`.
    bool keepUnusableShapes = false;
};

// For each column of `query`, whether the store keeps its values as whole
// numbers (the key and the whole-number columns; not the booleans).
std::vector<bool> integerColumnsOf(const PostGisQuery& query);

// The rows of `query` in the server's order: a plain table of about
// `splitFrom` rows or more, on a server that scans ranges of a table's pages
// (14 and later), is read in two halves of its pages on two connections at
// once, both in one snapshot. nullopt when this reader cannot stand in for
// the provider: no connection, a server older than 12, a relation, column or
// shape of a kind it does not read as the provider would (a curve, a BC date,
// a geography column …), or a query the server refuses before sending a row.
// Throws support::Failure (read failed, naming `layerName` and the server's
// words) when the read breaks off once the server has begun sending rows: a
// lost connection, a server that stops, an error during the read.
std::optional<StoreRows> readPostGisRows(const PostGisQuery& query, const QString& layerName,
                                         size_t splitFrom);

// The rows of a plain table on one connection in the order the server keeps
// them, as QGIS's iterator meets them, taken batch by batch while they come:
// a walk over a layer's features.
class PostGisStream {
  public:
    ~PostGisStream();
    PostGisStream(const PostGisStream&) = delete;
    PostGisStream& operator=(const PostGisStream&) = delete;
    // Up to `rows` further rows, as new rows in `batch`; false after the
    // last. Throws support::Failure as readPostGisRows does once rows have
    // come, also for a row this reader does not convert, which
    // openPostGisStream rules out ahead.
    bool next(StoreRows& batch, size_t rows);
    // Asks the server to stop sending, from any thread: a next() under way
    // or to come then fails at once rather than waiting for the rows.
    void cancel();

  private:
    friend std::unique_ptr<PostGisStream> openPostGisStream(const PostGisQuery&, const QString&);
    struct State;
    explicit PostGisStream(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

// The stream of `query`'s rows, its COPY begun; nullptr where
// readPostGisRows would give nullopt, and where a row might hold what this
// reader does not convert, so that it could only tell after handing over
// rows: a view (whose key may be null), a shape column of any kind (which
// may hold curves), a date.
std::unique_ptr<PostGisStream> openPostGisStream(const PostGisQuery& query,
                                                 const QString& layerName);

}  // namespace bramlotte::store
