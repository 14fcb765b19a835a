#include "map/store/geopackage_rows.h"

#include "map/search/wkb_flatten.h"
#include "map/store/text_codes.h"
#include "support/base/failure.h"

#include <sqlite3.h>

#include <QDate>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>

namespace bramlotte::store {
namespace {

struct SqliteCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Database = std::unique_ptr<sqlite3, SqliteCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, SqliteCloser>;

QString quoted(const QString& identifier) {
    QString q = identifier;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// Errors that say the file itself is damaged or cannot be read from disk.
bool damaged(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB || primary == SQLITE_IOERR ||
           primary == SQLITE_NOMEM;
}

// The GeoPackage's own header in front of a shape's WKB: "GP", a version,
// flags (byte order, the kind of envelope, empty, extended), the spatial
// reference id and the envelope. Where the WKB starts, or nullptr for a
// header this reader does not take; `empty` for a shape flagged empty.
const unsigned char* wkbStart(const unsigned char* blob, size_t size, bool& empty) {
    if (size < 8 || blob[0] != 'G' || blob[1] != 'P' || blob[2] != 0) {
        return nullptr;
    }
    const unsigned char flags = blob[3];
    if (flags & 0x20) {
        return nullptr;  // an extended geometry type
    }
    static const size_t kEnvelopeSize[] = {0, 32, 48, 48, 64};
    const unsigned envelope = (flags >> 1) & 0x07;
    if (envelope > 4 || size < 8 + kEnvelopeSize[envelope]) {
        return nullptr;
    }
    empty = (flags & 0x10) != 0;
    return blob + 8 + kEnvelopeSize[envelope];
}

// "YYYY-MM-DD" and nothing else.
std::optional<QDate> isoDate(const unsigned char* text, int size) {
    if (size != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < lengths[p]; ++i) {
            const unsigned char c = text[starts[p] + i];
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            parts[p] = parts[p] * 10 + (c - '0');
        }
    }
    const QDate date(parts[0], parts[1], parts[2]);
    if (!date.isValid()) {
        return std::nullopt;
    }
    return date;
}

QString sqlOf(const GeoPackageQuery& query) {
    QString sql =
        QStringLiteral("SELECT %1, %2").arg(quoted(query.fidColumn), quoted(query.geometryColumn));
    for (const GeoPackageColumn& column : query.columns) {
        if (column.type != SourceType::Id && column.type != SourceType::Unread) {
            sql += QStringLiteral(", ") + quoted(column.name);
        }
    }
    sql += QStringLiteral(" FROM %1 WHERE %2 BETWEEN ?1 AND ?2")
               .arg(quoted(query.table), quoted(query.fidColumn));
    if (!query.filter.trimmed().isEmpty()) {
        sql += QStringLiteral(" AND (") + query.filter + QLatin1Char(')');
    }
    return sql;
}

// The value of result column `at` as the host gives it; false for a value
// this reader does not convert as the host would.
bool valueOf(sqlite3_stmt* st, int at, SourceType type, qint64 id, QVariant& value) {
    if (type == SourceType::Id) {
        value = QVariant(id);
        return true;
    }
    if (sqlite3_column_type(st, at) == SQLITE_NULL) {
        value = QVariant();
        return true;
    }
    switch (type) {
        case SourceType::Id:
        case SourceType::Unread:
            break;
        case SourceType::Int32:
            value = QVariant(sqlite3_column_int(st, at));
            return true;
        case SourceType::Int64:
            value = QVariant(static_cast<qint64>(sqlite3_column_int64(st, at)));
            return true;
        case SourceType::Real:
            value = QVariant(sqlite3_column_double(st, at));
            return true;
        case SourceType::Boolean:
            value = QVariant(sqlite3_column_int(st, at) != 0);
            return true;
        case SourceType::Text:
            // Up to the first NUL, as GDAL reads a text.
            value = QVariant(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, at))));
            return true;
        case SourceType::Date: {
            const unsigned char* text = sqlite3_column_text(st, at);
            const std::optional<QDate> date = sqlite3_column_type(st, at) == SQLITE_TEXT && text
                                                  ? isoDate(text, sqlite3_column_bytes(st, at))
                                                  : std::nullopt;
            if (!date) {
                return false;
            }
            value = QVariant(*date);
            return true;
        }
    }
    return false;
}

// Adds the value of result column `at` to `column`; false for a value this
// reader does not convert as the host would.
bool addValue(sqlite3_stmt* st, int at, SourceType type, qint64 id, ValueColumn& column,
              TextCodes& texts) {
    if (type == SourceType::Text && column.coded() && sqlite3_column_type(st, at) != SQLITE_NULL) {
        texts.add(reinterpret_cast<const char*>(sqlite3_column_text(st, at)), column);
        return true;
    }
    QVariant value;
    if (!valueOf(st, at, type, id, value)) {
        return false;
    }
    column.append(value);
    return true;
}

// The result column of each store column (-1 for the id and those not
// read): the id and the shape come first, then each column read, in order.
std::vector<int> resultColumnsOf(const GeoPackageQuery& query) {
    std::vector<int> resultColumn;
    int next = 2;
    for (const GeoPackageColumn& column : query.columns) {
        const SourceType type = column.type;
        resultColumn.push_back(type == SourceType::Id || type == SourceType::Unread ? -1 : next++);
    }
    return resultColumn;
}

// The shape of the row `st` is on (result column 1): false for a value this
// reader does not take; else `wkb` is its standard WKB (nullptr for none) and
// `empty` tells a shape flagged empty.
bool shapeOf(sqlite3_stmt* st, const unsigned char*& wkb, size_t& size, bool& empty) {
    wkb = nullptr;
    size = 0;
    empty = false;
    if (sqlite3_column_type(st, 1) == SQLITE_NULL) {
        return true;
    }
    if (sqlite3_column_type(st, 1) != SQLITE_BLOB) {
        return false;
    }
    const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(st, 1));
    const auto bytes = static_cast<size_t>(sqlite3_column_bytes(st, 1));
    wkb = blob ? wkbStart(blob, bytes, empty) : nullptr;
    if (!wkb) {
        return false;
    }
    size = bytes - static_cast<size_t>(wkb - blob);
    return true;
}

// About how many bytes a shape of the table takes in the store, from the
// first few hundred rows at `firstId` on: room is reserved for all of them
// at once rather than grown step by step.
size_t averageShapeSize(sqlite3* db, const GeoPackageQuery& query, qint64 firstId) {
    const QByteArray sql =
        QStringLiteral(
            "SELECT avg(length(g)) FROM (SELECT %1 AS g FROM %2 WHERE %3 >= ?1 LIMIT 512)")
            .arg(quoted(query.geometryColumn), quoted(query.table), quoted(query.fidColumn))
            .toUtf8();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), sql.size(), &raw, nullptr) != SQLITE_OK) {
        return 0;
    }
    const Statement st(raw);
    sqlite3_bind_int64(st.get(), 1, firstId);
    if (sqlite3_step(st.get()) != SQLITE_ROW) {
        return 0;  // what went wrong is for the read itself to find
    }
    // A little over the blobs' size, for the single parts made multipart.
    return static_cast<size_t>(sqlite3_column_double(st.get(), 0) * 1.1) + 16;
}

// The first column of the first row of `sql` as a whole number, with the
// texts `arguments` bound in order; nullopt for no row, a NULL, or an error.
std::optional<qint64> singleNumber(sqlite3* db, const QString& sql,
                                   std::initializer_list<QString> arguments,
                                   std::optional<qint64> number = std::nullopt) {
    sqlite3_stmt* raw = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), text.size(), &raw, nullptr) != SQLITE_OK) {
        return std::nullopt;
    }
    const Statement st(raw);
    int at = 1;
    for (const QString& argument : arguments) {
        const QByteArray bytes = argument.toUtf8();
        sqlite3_bind_text(st.get(), at++, bytes.constData(), bytes.size(), SQLITE_TRANSIENT);
    }
    if (number) {
        sqlite3_bind_int64(st.get(), at, *number);
    }
    if (sqlite3_step(st.get()) != SQLITE_ROW || sqlite3_column_type(st.get(), 0) == SQLITE_NULL) {
        return std::nullopt;
    }
    return sqlite3_column_int64(st.get(), 0);
}

}  // namespace

std::optional<GeoPackageTableInfo> geoPackageTableInfo(const QString& path, const QString& table) {
    sqlite3* rawDb = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &rawDb,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const Database db(rawDb);
    if (opened != SQLITE_OK) {
        return std::nullopt;
    }
    // Runs `sql` with `table` bound to ?1; each row's first two columns.
    auto rowsOf = [&](const char* sql, std::vector<std::pair<QString, QString>>& out) {
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db.get(), sql, -1, &raw, nullptr) != SQLITE_OK) {
            return false;
        }
        const Statement st(raw);
        const QByteArray name = table.toUtf8();
        if (sqlite3_bind_text(st.get(), 1, name.constData(), name.size(), SQLITE_TRANSIENT) !=
            SQLITE_OK) {
            return false;
        }
        int step = SQLITE_ROW;
        while ((step = sqlite3_step(st.get())) == SQLITE_ROW) {
            auto text = [&](int c) {
                return QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(st.get(), c)));
            };
            out.emplace_back(text(0), text(1));
        }
        return step == SQLITE_DONE;
    };
    std::vector<std::pair<QString, QString>> shapes, columns;
    if (!rowsOf("SELECT column_name, upper(geometry_type_name) FROM gpkg_geometry_columns "
                "WHERE table_name = ?1",
                shapes) ||
        shapes.size() != 1 || !rowsOf("SELECT name, type FROM pragma_table_info(?1)", columns)) {
        return std::nullopt;
    }
    GeoPackageTableInfo info;
    info.geometryColumn = shapes[0].first;
    info.geometryType = shapes[0].second;
    for (const auto& column : columns) {
        info.columns.push_back(column.first);
    }
    return info;
}

RowSpread rowSpreadOf(const QString& path, const QString& table, const QString& geometryColumn,
                      qint64 firstId, qint64 lastId) {
    RowSpread spread;
    // The middle of the id range, computed without overflow.
    const quint64 span =
        lastId >= firstId ? static_cast<quint64>(lastId) - static_cast<quint64>(firstId) : 0;
    spread.middleId = static_cast<qint64>(static_cast<quint64>(firstId) + span / 2 + 1);
    sqlite3* rawDb = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &rawDb,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const Database db(rawDb);
    if (opened != SQLITE_OK) {
        return spread;
    }
    // GDAL keeps every table's row count up to date in gpkg_ogr_contents.
    if (const std::optional<qint64> rows =
            singleNumber(db.get(),
                         QStringLiteral("SELECT feature_count FROM gpkg_ogr_contents "
                                        "WHERE lower(table_name) = lower(?1)"),
                         {table})) {
        spread.rows = std::max<qint64>(0, *rows);
    }
    // The spatial index keeps the id of every row with a shape in a table of
    // its own, a few bytes a row: its middle row is the median id.
    const QString index = QStringLiteral("rtree_%1_%2_rowid").arg(table, geometryColumn);
    const std::optional<qint64> indexed = singleNumber(
        db.get(),
        QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?1"),
        {index});
    if (indexed.value_or(0) == 1 && spread.rows > 1) {
        const std::optional<qint64> median =
            singleNumber(db.get(),
                         QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid LIMIT 1 OFFSET ?1")
                             .arg(quoted(index)),
                         {}, spread.rows / 2);
        if (median && *median > firstId && *median <= lastId) {
            spread.middleId = *median;
        }
    }
    return spread;
}

bool deliveredAsMultipart(const QString& geometryType) {
    return geometryType == QLatin1String("MULTIPOINT") ||
           geometryType == QLatin1String("MULTILINESTRING") ||
           geometryType == QLatin1String("MULTIPOLYGON") ||
           geometryType == QLatin1String("GEOMETRYCOLLECTION") ||
           geometryType == QLatin1String("MULTICURVE") ||
           geometryType == QLatin1String("MULTISURFACE");
}

std::vector<bool> integerColumnsOf(const GeoPackageQuery& query) {
    std::vector<bool> integers;
    for (const GeoPackageColumn& column : query.columns) {
        integers.push_back(column.type == SourceType::Id || column.type == SourceType::Int32 ||
                           column.type == SourceType::Int64);
    }
    return integers;
}

namespace {

// The read of both: with a meeting, the rows in the order `from` walks them,
// each taken only as the meeting allows.
std::optional<StoreRows> readRows(const GeoPackageQuery& query, qint64 firstId, qint64 lastId,
                                  const QString& layerName, size_t reserveRows,
                                  RangeMeeting* meeting, RangeEnd from) {
    sqlite3* rawDb = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(query.path).constData(), &rawDb,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const Database db(rawDb);
    if (opened != SQLITE_OK) {
        return std::nullopt;
    }
    sqlite3_stmt* rawSt = nullptr;
    QString text = sqlOf(query);
    if (meeting) {
        // A meeting's readers stop at the first id the other has: each must
        // walk the ids in order, whatever index a filter would use.
        text += QStringLiteral(" ORDER BY %1 %2")
                    .arg(quoted(query.fidColumn),
                         from == RangeEnd::Lowest ? QStringLiteral("ASC") : QStringLiteral("DESC"));
    }
    const QByteArray sql = text.toUtf8();
    if (sqlite3_prepare_v2(db.get(), sql.constData(), sql.size(), &rawSt, nullptr) != SQLITE_OK) {
        return std::nullopt;  // a filter only the host's reader knows, a table changed
    }
    const Statement st(rawSt);
    if (sqlite3_bind_int64(st.get(), 1, firstId) != SQLITE_OK ||
        sqlite3_bind_int64(st.get(), 2, lastId) != SQLITE_OK) {
        return std::nullopt;
    }
    StoreRows rows(integerColumnsOf(query));
    for (size_t i = 0; i < query.columns.size(); ++i) {
        if (query.columns[i].type == SourceType::Unread) {
            rows.columns[i] = ValueColumn::unread();
        }
    }
    if (reserveRows > 0) {
        rows.reserve(reserveRows, reserveRows * averageShapeSize(db.get(), query, firstId));
    }
    const std::vector<int> resultColumn = resultColumnsOf(query);
    std::vector<size_t> read;  // the store columns that take values
    std::vector<TextCodes> texts(query.columns.size());
    for (size_t i = 0; i < query.columns.size(); ++i) {
        if (query.columns[i].type != SourceType::Unread) {
            read.push_back(i);
        }
    }
    for (;;) {
        const int step = sqlite3_step(st.get());
        if (step == SQLITE_DONE) {
            break;
        }
        if (step != SQLITE_ROW) {
            const int code = sqlite3_extended_errcode(db.get());
            if (rows.count() == 0 && !damaged(code)) {
                return std::nullopt;  // the file is busy or cannot be opened here
            }
            throw support::Failure(
                support::error::kReadFailed,
                QStringLiteral("Layer %1 could not be read completely: %2")
                    .arg(layerName, QString::fromUtf8(sqlite3_errmsg(db.get()))));
        }
        const qint64 id = sqlite3_column_int64(st.get(), 0);
        if (meeting &&
            !(from == RangeEnd::Lowest ? meeting->upwardTakes(id) : meeting->downwardTakes(id))) {
            break;
        }
        rows.ids.push_back(id);
        for (const size_t i : read) {
            if (!addValue(st.get(), resultColumn[i], query.columns[i].type, id, rows.columns[i],
                          texts[i])) {
                return std::nullopt;
            }
        }
        search::FloatBox held;
        const unsigned char* wkb = nullptr;
        size_t wkbSize = 0;
        bool empty = false;
        if (!shapeOf(st.get(), wkb, wkbSize, empty)) {
            return std::nullopt;
        }
        if (wkb && !empty) {
            search::Box box;
            host::ShapeFault fault = host::ShapeFault::None;
            switch (search::appendFlatWkb(wkb, wkbSize, query.promoteToMulti, rows.wkbData, box,
                                          fault)) {
                case search::FlattenResult::Unsupported:
                    return std::nullopt;
                case search::FlattenResult::Malformed:
                    if (!query.hostReads || query.hostReads(wkb, wkbSize)) {
                        return std::nullopt;
                    }
                    // One shape nobody can read: the row keeps its values
                    // and meets nothing, as the host's reader gives it.
                    rows.skipped.add(host::ShapeFault::Unreadable, id);
                    break;
                case search::FlattenResult::Empty:
                    break;
                case search::FlattenResult::Shape:
                    if (fault == host::ShapeFault::None) {
                        held = search::FloatBox::around(box);
                    } else {
                        // The row keeps its values but meets nothing.
                        rows.wkbData.resize(rows.wkbOffset.back());
                        rows.skipped.add(fault, id);
                    }
                    break;
            }
        }
        rows.endRow(held);
    }
    if (from == RangeEnd::Highest) {
        rows.sortById();
    }
    return rows;
}

}  // namespace

std::optional<StoreRows> readGeoPackageRows(const GeoPackageQuery& query, qint64 firstId,
                                            qint64 lastId, const QString& layerName,
                                            size_t reserveRows) {
    return readRows(query, firstId, lastId, layerName, reserveRows, nullptr, RangeEnd::Lowest);
}

std::optional<StoreRows> readGeoPackageRowsMeeting(const GeoPackageQuery& query, qint64 firstId,
                                                   qint64 lastId, const QString& layerName,
                                                   size_t reserveRows, RangeMeeting& meeting,
                                                   RangeEnd from) {
    return readRows(query, firstId, lastId, layerName, reserveRows, &meeting, from);
}

struct GeoPackageRowCursor::Open {
    Database db;
    Statement st;
    GeoPackageQuery query;
    QString layerName;
    std::vector<int> resultColumn;
};

std::unique_ptr<GeoPackageRowCursor> GeoPackageRowCursor::open(const GeoPackageQuery& query,
                                                               const QString& layerName) {
    sqlite3* rawDb = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(query.path).constData(), &rawDb,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    Database db(rawDb);
    if (opened != SQLITE_OK) {
        return nullptr;
    }
    const QByteArray sql =
        (sqlOf(query) + QStringLiteral(" ORDER BY %1").arg(quoted(query.fidColumn))).toUtf8();
    sqlite3_stmt* rawSt = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.constData(), sql.size(), &rawSt, nullptr) != SQLITE_OK) {
        return nullptr;
    }
    Statement st(rawSt);
    if (sqlite3_bind_int64(st.get(), 1, std::numeric_limits<qint64>::min()) != SQLITE_OK ||
        sqlite3_bind_int64(st.get(), 2, std::numeric_limits<qint64>::max()) != SQLITE_OK) {
        return nullptr;
    }
    std::unique_ptr<GeoPackageRowCursor> cursor(new GeoPackageRowCursor());
    cursor->open_.reset(
        new Open{std::move(db), std::move(st), query, layerName, resultColumnsOf(query)});
    return cursor;
}

GeoPackageRowCursor::~GeoPackageRowCursor() = default;

bool GeoPackageRowCursor::next() {
    const int step = sqlite3_step(open_->st.get());
    if (step == SQLITE_ROW) {
        return true;
    }
    if (step == SQLITE_DONE) {
        return false;
    }
    throw support::Failure(
        support::error::kReadFailed,
        QStringLiteral("Layer %1 could not be read completely: %2")
            .arg(open_->layerName, QString::fromUtf8(sqlite3_errmsg(open_->db.get()))));
}

qint64 GeoPackageRowCursor::id() const {
    return sqlite3_column_int64(open_->st.get(), 0);
}

bool GeoPackageRowCursor::value(size_t column, QVariant& value) const {
    const SourceType type = open_->query.columns[column].type;
    if (type == SourceType::Unread) {
        value = QVariant();
        return true;
    }
    return valueOf(open_->st.get(), open_->resultColumn[column], type, id(), value);
}

bool GeoPackageRowCursor::shape(const unsigned char*& wkb, size_t& size, bool& empty) const {
    return shapeOf(open_->st.get(), wkb, size, empty);
}

}  // namespace bramlotte::store
