#include "map/store/postgis_rows.h"

#include "map/search/wkb_flatten.h"
#include "map/store/text_codes.h"
#include "support/base/both_at_once.h"
#include "support/base/failure.h"

#include <libpq-fe.h>

#include <QDate>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>

namespace bramlotte::store {
namespace {

struct PgCloser {
    void operator()(PGconn* connection) const { PQfinish(connection); }
    void operator()(PGresult* result) const { PQclear(result); }
    void operator()(PGcancel* canceller) const { PQfreeCancel(canceller); }
};
using Connection = std::unique_ptr<PGconn, PgCloser>;
using Result = std::unique_ptr<PGresult, PgCloser>;

// The server's own types each kind of value is read from.
bool readsType(PgValue value, const QString& type) {
    switch (value) {
        case PgValue::Key:
        case PgValue::Int32:
            return type == QLatin1String("int4");
        case PgValue::Int16:
            return type == QLatin1String("int2");
        case PgValue::Int64:
            return type == QLatin1String("int8");
        case PgValue::Float64:
            return type == QLatin1String("float8");
        case PgValue::Numeric:
            return type == QLatin1String("numeric");
        case PgValue::Text:
            return type == QLatin1String("text") || type == QLatin1String("varchar") ||
                   type == QLatin1String("bpchar");
        case PgValue::Boolean:
            return type == QLatin1String("bool");
        case PgValue::Date:
            return type == QLatin1String("date");
        case PgValue::Unread:
            return true;
    }
    return false;
}

QString quoted(const QString& identifier) {
    QString q = identifier;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString relationName(const PostGisQuery& query) {
    return query.schema.isEmpty() ? quoted(query.table)
                                  : quoted(query.schema) + QLatin1Char('.') + quoted(query.table);
}

Connection connect(const QString& info) {
    // Texts come as UTF-8 whatever the server keeps them in, as QGIS asks.
    const QByteArray text =
        (info + QStringLiteral(" client_encoding=UTF8 fallback_application_name=bramlotte"))
            .toUtf8();
    Connection connection(PQconnectdb(text.constData()));
    if (!connection || PQstatus(connection.get()) != CONNECTION_OK) {
        return nullptr;
    }
    return connection;
}

// Runs `sql` with text parameters; nullptr unless it gave `wanted`.
Result run(PGconn* connection, const char* sql, const std::vector<QByteArray>& parameters = {},
           ExecStatusType wanted = PGRES_TUPLES_OK) {
    std::vector<const char*> values;
    for (const QByteArray& p : parameters) {
        values.push_back(p.constData());
    }
    Result result(PQexecParams(connection, sql, static_cast<int>(values.size()), nullptr,
                               values.data(), nullptr, nullptr, 0));
    if (!result || PQresultStatus(result.get()) != wanted) {
        return nullptr;
    }
    return result;
}

// Runs `sql`, which may be several statements; false unless the last
// one succeeded without rows.
bool runStatements(PGconn* connection, const QByteArray& sql) {
    const Result result(PQexec(connection, sql.constData()));
    return result && PQresultStatus(result.get()) == PGRES_COMMAND_OK;
}

QString text(const PGresult* result, int row, int column) {
    return QString::fromUtf8(PQgetvalue(result, row, column));
}

// What the server holds for the query's relation.
struct Relation {
    char kind = 0;             // pg_class.relkind
    double estimatedRows = 0;  // the planner's estimate; below 0 when never counted
    long long pages = 0;       // of the table itself, now
    long long bytes = 0;       // of the table with its out-of-line values
    int serverVersion = 0;
    // Whether the table's rows lie about in key order (its statistics say
    // so, and that no key is below zero, as ids from keys would then not
    // ascend with them): its key's index then reads them in that order for
    // about what a scan of its pages costs, and they need no sorting.
    bool keyOrdersRows = false;
    std::optional<qint64> medianKey;  // from the statistics, where they hold one
    QString shapeKind;                // the kind of shape its column declares ("GEOMETRY": any)
};

// The relation, when every column the query reads is of a type it reads
// and its shape column one it reads as the provider would.
std::optional<Relation> relationOf(PGconn* connection, const PostGisQuery& query) {
    Relation relation;
    relation.serverVersion = PQserverVersion(connection);
    if (relation.serverVersion < 120000) {
        return std::nullopt;  // float8's text was not exact before 12
    }
    const Result found =
        run(connection,
            "SELECT c.oid, c.relkind, c.reltuples::float8, "
            "pg_relation_size(c.oid) / current_setting('block_size')::int8, pg_table_size(c.oid), "
            "n.nspname, c.relname "
            "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
            "WHERE c.oid = to_regclass($1)",
            {relationName(query).toUtf8()});
    if (!found || PQntuples(found.get()) != 1) {
        return std::nullopt;
    }
    const QByteArray oid = PQgetvalue(found.get(), 0, 0);
    relation.kind = *PQgetvalue(found.get(), 0, 1);
    relation.estimatedRows = text(found.get(), 0, 2).toDouble();
    relation.pages = text(found.get(), 0, 3).toLongLong();
    relation.bytes = text(found.get(), 0, 4).toLongLong();
    const QByteArray schema = PQgetvalue(found.get(), 0, 5), table = PQgetvalue(found.get(), 0, 6);
    // Tables, partitioned tables, views and materialized views: what a
    // plain SELECT reads as QGIS's own query does.
    if (!QByteArray("rpvm").contains(relation.kind)) {
        return std::nullopt;
    }
    // Each column's type; for the shape column also the kind of shape and
    // the spatial reference it declares, as QGIS reads them.
    const Result columns = run(connection,
                               "SELECT a.attname, t.typname, CASE WHEN a.attname = $2 THEN "
                               "upper(postgis_typmod_type(a.atttypmod)) || ' ' || "
                               "postgis_typmod_srid(a.atttypmod) END "
                               "FROM pg_attribute a JOIN pg_type t ON t.oid = a.atttypid "
                               "WHERE a.attrelid = $1 AND a.attnum > 0 AND NOT a.attisdropped",
                               {oid, query.geometryColumn.toUtf8()});
    if (!columns) {
        return std::nullopt;
    }
    std::map<QString, QString> typeOf;
    QString declared;
    for (int row = 0; row < PQntuples(columns.get()); ++row) {
        typeOf[text(columns.get(), row, 0)] = text(columns.get(), row, 1);
        if (!PQgetisnull(columns.get(), row, 2)) {
            declared = text(columns.get(), row, 2);
        }
    }
    auto isOf = [&](const QString& column, PgValue value) {
        const auto it = typeOf.find(column);
        return it != typeOf.end() && readsType(value, it->second);
    };
    const PgValue key = query.wideKey ? PgValue::Int64 : PgValue::Key;
    if (!isOf(query.keyColumn, key)) {
        return std::nullopt;
    }
    for (const PostGisColumn& column : query.columns) {
        const PgValue type = column.type == PgValue::Key ? key : column.type;
        if (type != PgValue::Unread && !isOf(column.name, type)) {
            return std::nullopt;
        }
    }
    if (query.geometryColumn.isEmpty()) {
        return relation;
    }
    const auto shapes = typeOf.find(query.geometryColumn);
    if (shapes == typeOf.end() || shapes->second != QLatin1String("geometry")) {
        return std::nullopt;  // geography, a topology, point clouds: the provider's own forms
    }
    // "MULTILINESTRINGZ 32632", "GEOMETRY 0" for a column of any shapes.
    const QString kind = declared.section(QLatin1Char(' '), 0, 0);
    const QString srid = declared.section(QLatin1Char(' '), 1, 1);
    for (const char* curved : {"CIRCULARSTRING", "COMPOUNDCURVE", "CURVEPOLYGON", "MULTICURVE",
                               "MULTISURFACE", "POLYHEDRALSURFACE", "TIN", "TRIANGLE"}) {
        if (kind.startsWith(QLatin1String(curved))) {
            return std::nullopt;  // QGIS makes curves and surfaces of its own of these
        }
    }
    // A layer asking for another kind or spatial reference than the column
    // declares has the provider pick its rows by them.
    if (kind.isEmpty() || (!query.geometryType.isEmpty() && query.geometryType != kind)) {
        return std::nullopt;
    }
    relation.shapeKind = kind;
    if (!query.srid.isEmpty() && (query.srid != srid || srid == QLatin1String("0"))) {
        return std::nullopt;
    }
    if (relation.kind == 'r') {
        // The key's statistics: how closely the rows follow it, its lowest
        // value and its median; where an index leads with the key.
        const Result stats = run(
            connection,
            "SELECT s.correlation, h.b[1], h.b[(array_length(h.b, 1) + 1) / 2] FROM pg_stats s, "
            "LATERAL (SELECT s.histogram_bounds::text::int8[] AS b) h WHERE s.schemaname = $1 "
            "AND s.tablename = $2 AND s.attname = $3 AND NOT s.inherited AND EXISTS ("
            "SELECT 1 FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid "
            "AND a.attnum = i.indkey[0] WHERE i.indrelid = $4 AND a.attname = $3 "
            "AND i.indpred IS NULL AND i.indexprs IS NULL)",
            {schema, table, query.keyColumn.toUtf8(), oid});
        if (stats && PQntuples(stats.get()) == 1 && !PQgetisnull(stats.get(), 0, 0) &&
            !PQgetisnull(stats.get(), 0, 1) && !PQgetisnull(stats.get(), 0, 2)) {
            // A wide key's ids are its values, which ascend with it whatever their sign.
            relation.keyOrdersRows = std::abs(text(stats.get(), 0, 0).toDouble()) >= 0.9 &&
                                     (query.wideKey || text(stats.get(), 0, 1).toLongLong() >= 0);
            relation.medianKey = text(stats.get(), 0, 2).toLongLong();
        }
    }
    return relation;
}

int16_t read16(const unsigned char* p) {
    return static_cast<int16_t>((p[0] << 8) | p[1]);
}
int32_t read32(const unsigned char* p) {
    return static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 24) |
                                (static_cast<uint32_t>(p[1]) << 16) |
                                (static_cast<uint32_t>(p[2]) << 8) | p[3]);
}
int64_t read64(const unsigned char* p) {
    return static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(read32(p))) << 32) |
                                static_cast<uint32_t>(read32(p + 4)));
}

// One field of a row as COPY's binary form gives it; `size` -1 for NULL.
struct Field {
    const unsigned char* data = nullptr;
    int32_t size = -1;
};

// Days from 2000-01-01, the server's own count, to Julian days.
constexpr qint64 kJulianDayOf2000 = 2451545;

// Adds `field`'s value to `column`; false for a value not converted here
// as the provider converts its text.
bool addValue(const Field& field, PgValue type, const QVariant& key, ValueColumn& column,
              TextCodes& texts) {
    if (type == PgValue::Key) {
        column.append(key);
        return true;
    }
    if (field.size < 0) {
        column.append(QVariant());
        return true;
    }
    const unsigned char* p = field.data;
    switch (type) {
        case PgValue::Key:
        case PgValue::Unread:
            break;
        case PgValue::Int16:
            if (field.size != 2) {
                return false;
            }
            column.append(QVariant(static_cast<int>(read16(p))));
            return true;
        case PgValue::Int32:
            if (field.size != 4) {
                return false;
            }
            column.append(QVariant(read32(p)));
            return true;
        case PgValue::Int64:
            if (field.size != 8) {
                return false;
            }
            column.append(QVariant(static_cast<qint64>(read64(p))));
            return true;
        case PgValue::Float64: {
            if (field.size != 8) {
                return false;
            }
            const int64_t bits = read64(p);
            double value = 0;
            std::memcpy(&value, &bits, 8);
            // "Infinity" is no number to Qt: the provider gives a null.
            column.append(std::isinf(value) ? QVariant() : QVariant(value));
            return true;
        }
        case PgValue::Numeric: {
            // The provider's own conversion of the text form.
            QVariant value(QString::fromLatin1(reinterpret_cast<const char*>(p), field.size));
            if (!value.convert(QVariant::Double)) {
                value = QVariant(QVariant::Double);
            }
            column.append(value);
            return true;
        }
        case PgValue::Text: {
            const std::string_view bytes(reinterpret_cast<const char*>(p),
                                         static_cast<size_t>(field.size));
            if (column.coded()) {
                texts.add(bytes, column);
            } else {
                column.append(
                    QVariant(QString::fromUtf8(bytes.data(), static_cast<int>(bytes.size()))));
            }
            return true;
        }
        case PgValue::Boolean:
            if (field.size != 1) {
                return false;
            }
            column.append(QVariant(*p != 0));
            return true;
        case PgValue::Date: {
            if (field.size != 4) {
                return false;
            }
            const int32_t days = read32(p);
            if (days == INT32_MAX || days == INT32_MIN) {
                column.append(QVariant());  // "infinity" is no date to Qt either
                return true;
            }
            // Years 1 to 9999 only: the text of others ("0044-03-15 BC",
            // "10000-01-01") is read by Qt's rules, not the calendar's.
            const QDate date = QDate::fromJulianDay(kJulianDayOf2000 + days);
            if (!date.isValid() || date.year() < 1 || date.year() > 9999) {
                return false;
            }
            column.append(QVariant(date));
            return true;
        }
    }
    return false;
}

// The part of the relation one connection reads: the pages [firstPage,
// endPage) of a plain table in the order they lie, or its keys [fromKey,
// toKey) in key order; everything by default.
struct Part {
    long long firstPage = 0;
    long long endPage = -1;  // -1: to the end
    bool byKey = false;
    std::optional<qint64> fromKey, toKey;  // none: unbounded
};

QByteArray copySql(const PostGisQuery& query, const Part& part) {
    const QString key = quoted(query.keyColumn);
    QString select = QStringLiteral("SELECT ") + key + QStringLiteral(", ");
    select += query.geometryColumn.isEmpty()
                  ? QStringLiteral("NULL::bytea")
                  : QStringLiteral("ST_AsBinary(%1, 'NDR')").arg(quoted(query.geometryColumn));
    for (const PostGisColumn& column : query.columns) {
        if (column.type == PgValue::Key || column.type == PgValue::Unread) {
            continue;
        }
        select += QStringLiteral(", ") + quoted(column.name);
        // The text forms QGIS reads: char's padding goes, numeric's digits stay.
        if (column.type == PgValue::Text || column.type == PgValue::Numeric) {
            select += QStringLiteral("::text");
        }
    }
    select += QStringLiteral(" FROM ") + relationName(query);
    QStringList conditions;
    if (part.firstPage > 0) {
        conditions << QStringLiteral("ctid >= '(%1,0)'::tid").arg(part.firstPage);
    }
    if (part.endPage >= 0) {
        conditions << QStringLiteral("ctid < '(%1,0)'::tid").arg(part.endPage);
    }
    if (part.fromKey) {
        conditions << QStringLiteral("%1 >= %2").arg(key).arg(*part.fromKey);
    }
    if (part.toKey) {
        conditions << QStringLiteral("%1 < %2").arg(key).arg(*part.toKey);
    }
    if (!query.filter.trimmed().isEmpty()) {
        conditions << QLatin1Char('(') + query.filter + QLatin1Char(')');
    }
    if (!conditions.isEmpty()) {
        select += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    }
    if (part.byKey) {
        select += QStringLiteral(" ORDER BY ") + key;
    }
    return QStringLiteral("COPY (%1) TO STDOUT (FORMAT binary)").arg(select).toUtf8();
}

support::Failure readFailure(const QString& layerName, const QString& said) {
    return support::Failure(support::error::kReadFailed,
                            QStringLiteral("Layer %1 could not be read completely: %2")
                                .arg(layerName, said.simplified()));
}

// Frees a buffer libpq allocated.
struct PgFree {
    void operator()(char* buffer) const { PQfreemem(buffer); }
};

// One COPY's rows as they come, converted into rows of the store.
class CopyReader {
  public:
    CopyReader(PGconn* connection, const PostGisQuery& query, const QString& layerName)
        : connection_(connection), query_(&query), layerName_(layerName) {
        // The key, the shape, then each column the query selects.
        fieldOf_.assign(query.columns.size(), -1);
        int count = 2;
        for (size_t i = 0; i < query.columns.size(); ++i) {
            const PgValue type = query.columns[i].type;
            if (type != PgValue::Unread) {
                read_.push_back(i);
            }
            if (type != PgValue::Unread && type != PgValue::Key) {
                fieldOf_[i] = count++;
            }
        }
        fields_.resize(static_cast<size_t>(count));
    }

    // Starts the COPY of `part`; false when the server refuses it (a filter
    // or a function it does not know) before sending anything.
    bool start(const Part& part) {
        const Result started(PQexec(connection_, copySql(*query_, part).constData()));
        return started && PQresultStatus(started.get()) == PGRES_COPY_OUT;
    }

    // Rows for read to fill, with room for `reserveRows` and their shapes.
    StoreRows newRows(size_t reserveRows, size_t reserveBytes) {
        StoreRows rows(integerColumnsOf(*query_));
        rows.keyValueIds = query_->wideKey;
        for (size_t i = 0; i < query_->columns.size(); ++i) {
            if (query_->columns[i].type == PgValue::Unread) {
                rows.columns[i] = ValueColumn::unread();
            }
        }
        rows.reserve(reserveRows, reserveBytes);
        texts_.assign(query_->columns.size(), TextCodes());  // codes of the new columns
        return rows;
    }

    enum class Outcome {
        Full,    // `limit` rows held, more to come
        Ended,   // the data ended as it should
        Stopped  // a value or shape not converted here, or `giveUp` was set
    };
    // Adds the rows that come to `rows` (from newRows) until it holds `limit`
    // or the data ends. Throws once the rows have begun to come and the read
    // breaks off: a lost connection, an error of the server.
    Outcome read(StoreRows& rows, size_t limit, const std::atomic<bool>& giveUp) {
        while (rows.count() < limit) {
            char* raw = nullptr;
            const int size = PQgetCopyData(connection_, &raw, 0);
            const std::unique_ptr<char, PgFree> buffer(raw);
            if (size == -1) {
                finish();  // the end of the data: the result says how it ended
                return Outcome::Ended;
            }
            if (size < 0) {
                throw readFailure(layerName_, QString::fromUtf8(PQerrorMessage(connection_)));
            }
            if (giveUp.load(std::memory_order_relaxed) ||
                !addRows(reinterpret_cast<const unsigned char*>(raw), size, rows)) {
                return Outcome::Stopped;
            }
        }
        return Outcome::Full;
    }

  private:
    support::Failure malformed() const {
        return readFailure(layerName_, QStringLiteral("the server sent data of an unknown form"));
    }

    // The rows of one message (the server sends one a message); false for
    // one this reader does not convert.
    bool addRows(const unsigned char* p, int size, StoreRows& rows) {
        const unsigned char* end = p + size;
        if (!headerRead_) {
            // "PGCOPY\n\377\r\n\0", the flags and the length of an extension.
            static const unsigned char kSignature[] = {'P',  'G',  'C',  'O',  'P', 'Y',
                                                       '\n', 0xff, '\r', '\n', 0};
            if (size < 19 || std::memcmp(p, kSignature, sizeof kSignature) != 0) {
                throw malformed();
            }
            const int32_t extension = read32(p + 15);
            if (extension < 0 || end - (p + 19) < extension) {
                throw malformed();
            }
            p += 19 + extension;
            headerRead_ = true;
        }
        while (p < end && !ended_) {
            if (end - p < 2) {
                throw malformed();
            }
            const int16_t count = read16(p);
            p += 2;
            if (count == -1) {
                ended_ = true;  // the trailer
                break;
            }
            if (count != static_cast<int>(fields_.size())) {
                throw malformed();
            }
            for (Field& field : fields_) {
                if (end - p < 4) {
                    throw malformed();
                }
                field.size = read32(p);
                p += 4;
                if (field.size > end - p) {
                    throw malformed();
                }
                field.data = p;
                p += std::max<int32_t>(field.size, 0);
            }
            if (!addRow(rows)) {
                return false;
            }
        }
        return true;
    }

    bool addRow(StoreRows& rows) {
        // A view's key may be null; QGIS numbers such rows its way.
        qint64 id = 0;
        QVariant key;
        if (query_->wideKey && fields_[0].size == 8) {
            id = read64(fields_[0].data);
            key = QVariant(id);
        } else if (!query_->wideKey && fields_[0].size == 4) {
            const int32_t value = read32(fields_[0].data);
            id = static_cast<qint64>(static_cast<quint32>(value));
            key = QVariant(value);
        } else {
            return false;
        }
        rows.ids.push_back(id);
        for (const size_t i : read_) {
            const int at = fieldOf_[i];
            if (!addValue(at >= 0 ? fields_[static_cast<size_t>(at)] : Field(),
                          query_->columns[i].type, key, rows.columns[i], texts_[i])) {
                return false;
            }
        }
        search::FloatBox held;
        const Field& shape = fields_[1];
        if (shape.size > 0) {
            search::Box box;
            host::ShapeFault fault = host::ShapeFault::None;
            switch (search::appendFlatWkb(shape.data, static_cast<size_t>(shape.size), false,
                                          rows.wkbData, box, fault)) {
                case search::FlattenResult::Unsupported:  // a curve in a column of any kind
                case search::FlattenResult::Malformed:
                    return false;
                case search::FlattenResult::Empty:
                    break;
                case search::FlattenResult::Shape:
                    if (fault == host::ShapeFault::None) {
                        held = search::FloatBox::around(box);
                    } else if (!query_->keepUnusableShapes) {
                        // The row keeps its values but meets nothing.
                        rows.wkbData.resize(rows.wkbOffset.back());
                        rows.skipped.add(fault, id);
                    }
                    break;
            }
        }
        rows.endRow(held);
        return true;
    }

    void finish() {
        const Result finished(PQgetResult(connection_));
        if (!finished || PQresultStatus(finished.get()) != PGRES_COMMAND_OK) {
            throw readFailure(layerName_,
                              finished ? QString::fromUtf8(PQresultErrorMessage(finished.get()))
                                       : QString::fromUtf8(PQerrorMessage(connection_)));
        }
        while (const Result more{PQgetResult(connection_)}) {
        }
        if (!ended_) {
            throw readFailure(layerName_, QStringLiteral("the data ended early"));
        }
    }

    PGconn* connection_;
    const PostGisQuery* query_;
    QString layerName_;
    std::vector<size_t> read_;  // the store columns that take values, in the query's order
    std::vector<int> fieldOf_;  // each store column's field of a row, or -1
    std::vector<Field> fields_;
    std::vector<TextCodes> texts_;
    bool headerRead_ = false, ended_ = false;
};

// One connection's read of `part` into rows. nullopt when the server
// refuses the query before sending anything, a value or shape is not one
// this reader converts (`giveUp` is then set for the other half), or the
// other half set `giveUp`. Throws once the rows have begun to come and the
// read breaks off.
std::optional<StoreRows> copyRows(PGconn* connection, const PostGisQuery& query, const Part& part,
                                  const QString& layerName, size_t reserveRows, size_t reserveBytes,
                                  std::atomic<bool>& giveUp) {
    CopyReader reader(connection, query, layerName);
    if (!reader.start(part)) {
        return std::nullopt;
    }
    StoreRows rows = reader.newRows(reserveRows, reserveBytes);
    if (reader.read(rows, SIZE_MAX, giveUp) != CopyReader::Outcome::Ended) {
        giveUp = true;
        return std::nullopt;
    }
    return rows;
}

}  // namespace

std::vector<bool> integerColumnsOf(const PostGisQuery& query) {
    std::vector<bool> integers;
    for (const PostGisColumn& column : query.columns) {
        integers.push_back(column.type == PgValue::Key || column.type == PgValue::Int16 ||
                           column.type == PgValue::Int32 || column.type == PgValue::Int64);
    }
    return integers;
}

std::optional<StoreRows> readPostGisRows(const PostGisQuery& query, const QString& layerName,
                                         size_t splitFrom) {
    const Connection connection = connect(query.connectionInfo);
    if (!connection) {
        return std::nullopt;  // QGIS's own connection decides what to tell
    }
    // One snapshot for what is learnt of the relation and for the read.
    if (!runStatements(connection.get(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")) {
        return std::nullopt;
    }
    const std::optional<Relation> relation = relationOf(connection.get(), query);
    if (!relation) {
        return std::nullopt;
    }
    const size_t estimate =
        relation->estimatedRows > 0 ? static_cast<size_t>(relation->estimatedRows * 1.02) + 16 : 0;
    // The shapes flattened take less room than the table holding them.
    const auto bytes = static_cast<size_t>(std::max<long long>(0, relation->bytes));
    std::atomic<bool> giveUp{false};
    // Rows that lie in key order are read by the key's index, which gives
    // them sorted; the planner is kept from sorting them itself.
    const bool byKey = relation->keyOrdersRows;
    const char* const keyOrder = "SET LOCAL enable_sort = off";
    if (byKey && !runStatements(connection.get(), keyOrder)) {
        return std::nullopt;
    }
    // Halves by the median key, or else by the table's pages, which the
    // server reads by their range alone from version 14 on (before, each
    // half would scan the whole table).
    const bool large = relation->estimatedRows >= 0
                           ? estimate >= splitFrom
                           : static_cast<size_t>(relation->bytes) / 64 >= splitFrom;
    const bool halves = relation->kind == 'r' && large &&
                        (byKey ? relation->medianKey.has_value()
                               : relation->serverVersion >= 140000 && relation->pages >= 2);
    QByteArray snapshot;
    if (halves) {
        if (const Result exported = run(connection.get(), "SELECT pg_export_snapshot()")) {
            snapshot = PQgetvalue(exported.get(), 0, 0);
        }
    }
    Part first, second;
    first.byKey = second.byKey = byKey;
    if (snapshot.isEmpty()) {
        return copyRows(connection.get(), query, first, layerName, estimate, bytes, giveUp);
    }
    if (byKey) {
        first.toKey = second.fromKey = relation->medianKey;
    } else {
        first.endPage = second.firstPage = relation->pages / 2;
    }
    std::optional<StoreRows> head, tail;
    bool tailConnected = false;
    support::bothAtOnce(
        [&] {
            const Connection other = connect(query.connectionInfo);
            if (!other) {
                return;
            }
            char* literal = PQescapeLiteral(other.get(), snapshot.constData(),
                                            static_cast<size_t>(snapshot.size()));
            const std::unique_ptr<char, PgFree> held(literal);
            if (!literal) {
                return;
            }
            // The first half's snapshot, and its way of reading.
            QByteArray begin("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY; ");
            begin.append("SET TRANSACTION SNAPSHOT ").append(literal);
            if (byKey) {
                begin.append("; ").append(keyOrder);
            }
            if (!runStatements(other.get(), begin)) {
                return;
            }
            tailConnected = true;
            try {
                tail = copyRows(other.get(), query, second, layerName, estimate / 2 + 16,
                                bytes / 2 + 4096, giveUp);
            } catch (...) {
                giveUp = true;  // the head need not read on
                throw;
            }
        },
        [&] {
            // The head takes the tail in after: room for both.
            try {
                head = copyRows(connection.get(), query, first, layerName, estimate, bytes, giveUp);
            } catch (...) {
                giveUp = true;
                throw;
            }
        });
    if (head && !tailConnected) {
        // No second connection to be had (the server's limit, say): the
        // tail after the head, on the first.
        tail = copyRows(connection.get(), query, second, layerName, 0, 0, giveUp);
    }
    if (!head || !tail) {
        return std::nullopt;
    }
    head->append(std::move(*tail));
    return head;
}

struct PostGisStream::State {
    State(Connection opened, const PostGisQuery& of, const QString& name)
        : connection(std::move(opened)),
          query(of),
          layerName(name),
          reader(connection.get(), query, layerName),
          canceller(PQgetCancel(connection.get())) {}
    Connection connection;
    PostGisQuery query;
    QString layerName;
    CopyReader reader;
    std::unique_ptr<PGcancel, PgCloser> canceller;  // usable from any thread
    std::atomic<bool> stop{false};                  // set by cancel
    bool ended = false;
};

PostGisStream::PostGisStream(std::unique_ptr<State> state) : state_(std::move(state)) {}

PostGisStream::~PostGisStream() = default;

void PostGisStream::cancel() {
    state_->stop = true;
    char error[256];
    if (state_->canceller) {
        PQcancel(state_->canceller.get(), error, sizeof error);
    }
}

bool PostGisStream::next(StoreRows& batch, size_t rows) {
    if (state_->ended) {
        batch = StoreRows();
        return false;
    }
    batch = state_->reader.newRows(rows, 0);
    switch (state_->reader.read(batch, rows, state_->stop)) {
        case CopyReader::Outcome::Full:
            return true;
        case CopyReader::Outcome::Ended:
            state_->ended = true;
            return batch.count() > 0;
        case CopyReader::Outcome::Stopped:
            break;
    }
    throw readFailure(state_->layerName,
                      state_->stop
                          ? QStringLiteral("the read was stopped")
                          : QStringLiteral("a row of a kind the binary read does not convert"));
}

std::unique_ptr<PostGisStream> openPostGisStream(const PostGisQuery& query,
                                                 const QString& layerName) {
    Connection connection = connect(query.connectionInfo);
    // The table from its first page, as a scan of it alone reads it, even
    // while another scan of it is under way.
    if (!connection || !runStatements(connection.get(), "SET synchronize_seqscans = off")) {
        return nullptr;
    }
    const std::optional<Relation> relation = relationOf(connection.get(), query);
    const bool dates = std::any_of(query.columns.begin(), query.columns.end(),
                                   [](const PostGisColumn& c) { return c.type == PgValue::Date; });
    if (!relation || relation->kind != 'r' || dates ||
        (!query.geometryColumn.isEmpty() &&
         (relation->shapeKind.startsWith(QLatin1String("GEOMETRY"))))) {
        return nullptr;
    }
    auto state = std::make_unique<PostGisStream::State>(std::move(connection), query, layerName);
    if (!state->reader.start(Part())) {
        return nullptr;
    }
    return std::unique_ptr<PostGisStream>(new PostGisStream(std::move(state)));
}

}  // namespace bramlotte::store
