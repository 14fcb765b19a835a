#include "map/qgis/writing/geopackage_update.h"

#include <ogr_api.h>
#include <sqlite3.h>

#include <QDate>

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <vector>

#include <memory>
#include <string>

namespace bramlotte::qgishost {
namespace {

QString quoted(const QString& identifier) {
    QString q = identifier;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

// Gives a value as SQLite's result, the way GeoPackages store it (dates as
// ISO text). `buffer` is reused from row to row: the texts written, page
// lists, are nearly always plain ASCII, and need no conversion of their own.
void resultOf(sqlite3_context* ctx, const QVariant& v, std::string& buffer) {
    if (v.type() == QVariant::String) {
        const QString& s = *static_cast<const QString*>(v.constData());
        buffer.resize(static_cast<size_t>(s.size()));
        const QChar* c = s.constData();
        int i = 0;
        for (; i < s.size() && c[i].unicode() < 0x80; ++i) {
            buffer[static_cast<size_t>(i)] = static_cast<char>(c[i].unicode());
        }
        if (i == s.size()) {
            if (s.isNull()) {
                sqlite3_result_null(ctx);
            } else {
                sqlite3_result_text(ctx, buffer.data(), i, SQLITE_TRANSIENT);
            }
            return;
        }
    }
    if (v.isNull()) {
        sqlite3_result_null(ctx);
        return;
    }
    QByteArray text;
    switch (v.type()) {
        case QVariant::Int:
        case QVariant::LongLong:
        case QVariant::UInt:
        case QVariant::ULongLong:
        case QVariant::Bool:
            sqlite3_result_int64(ctx, v.toLongLong());
            return;
        case QVariant::Double:
            sqlite3_result_double(ctx, v.toDouble());
            return;
        case QVariant::Date:
            text = v.toDate().toString(Qt::ISODate).toUtf8();
            break;
        case QVariant::DateTime:
            text = v.toDateTime()
                       .toUTC()
                       .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"))
                       .toUtf8();
            break;
        default:
            text = v.toString().toUtf8();
            break;
    }
    sqlite3_result_text(ctx, text.constData(), text.size(), SQLITE_TRANSIENT);
}

// The staged values of one field, looked up by feature id while one UPDATE
// walks the table. The walk goes in id order, as the store's rows do, so the
// row asked for is almost always a step or two on; anything else is searched.
class StagedLookup {
  public:
    StagedLookup(const std::vector<QgsFeatureId>& ids, const StagedColumn& column)
        : ids_(ids), column_(column) {}

    // The value written for feature `id`, or null when none was.
    const QVariant* find(sqlite3_int64 id) {
        auto it = ids_.begin() + static_cast<std::ptrdiff_t>(next_);
        if (it != ids_.begin() && (it == ids_.end() || *it > id)) {
            it = std::lower_bound(ids_.begin(), it, id);  // behind where the walk was
        } else {
            for (int step = 0; step < 4 && it != ids_.end() && *it < id; ++step) {
                ++it;
            }
            if (it != ids_.end() && *it < id) {
                it = std::lower_bound(it, ids_.end(), id);
            }
        }
        next_ = static_cast<size_t>(it - ids_.begin());
        if (it == ids_.end() || *it != id || !column_.written[next_]) {
            return nullptr;
        }
        return &column_.values[next_++];
    }

    // SQL: bramlotte_staged_is_set(fid) → 1 when the feature has a value, else 0.
    static void isSet(sqlite3_context* ctx, int, sqlite3_value** argv) {
        auto* self = static_cast<StagedLookup*>(sqlite3_user_data(ctx));
        self->last_ = self->find(sqlite3_value_int64(argv[0]));
        self->lastId_ = sqlite3_value_int64(argv[0]);
        sqlite3_result_int(ctx, self->last_ ? 1 : 0);
    }
    // SQL: bramlotte_staged_value(fid) → the feature's value.
    static void value(sqlite3_context* ctx, int, sqlite3_value** argv) {
        auto* self = static_cast<StagedLookup*>(sqlite3_user_data(ctx));
        const sqlite3_int64 id = sqlite3_value_int64(argv[0]);
        // Asked right after isSet for the same feature.
        const QVariant* v = self->last_ && self->lastId_ == id ? self->last_ : self->find(id);
        v ? resultOf(ctx, *v, self->text_) : sqlite3_result_null(ctx);
    }

  private:
    const std::vector<QgsFeatureId>& ids_;
    const StagedColumn& column_;
    size_t next_ = 0;
    const QVariant* last_ = nullptr;
    sqlite3_int64 lastId_ = 0;
    std::string text_;  // the value last given, as UTF-8
};

// GeoPackages keep their spatial index current with triggers that call
// ST_IsEmpty and ST_MinX … ST_MaxY, functions GDAL gives its own connections.
// Ours needs them too before any UPDATE can be prepared; they read the
// geometry blob's header, or the shape itself when the header has no box.
struct BlobShape {
    bool valid = false, empty = true;
    OGREnvelope box;
};

BlobShape readBlob(sqlite3_value* value) {
    BlobShape shape;
    const auto* blob = static_cast<const unsigned char*>(sqlite3_value_blob(value));
    const int size = sqlite3_value_bytes(value);
    if (!blob || size < 8 || blob[0] != 'G' || blob[1] != 'P') {
        return shape;
    }
    shape.valid = true;
    const unsigned char flags = blob[3];
    shape.empty = (flags & 0x10) != 0;
    const int envelope = (flags >> 1) & 0x07;
    static const int kEnvelopeDoubles[] = {0, 4, 6, 6, 8};
    const int header = 8 + (envelope <= 4 ? kEnvelopeDoubles[envelope] * 8 : 0);
    if (shape.empty || size < header) {
        return shape;
    }
    if (envelope >= 1 && envelope <= 4 && (flags & 0x01)) {  // little-endian box: read it
        double v[4];
        std::memcpy(v, blob + 8, sizeof v);
        shape.box.MinX = v[0];
        shape.box.MaxX = v[1];
        shape.box.MinY = v[2];
        shape.box.MaxY = v[3];
        return shape;
    }
    OGRGeometryH g = nullptr;
    if (OGR_G_CreateFromWkb(blob + header, nullptr, &g, size - header) == OGRERR_NONE && g) {
        OGR_G_GetEnvelope(g, &shape.box);
        OGR_G_DestroyGeometry(g);
    } else {
        shape.valid = false;
    }
    return shape;
}

void stIsEmpty(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const BlobShape s = readBlob(argv[0]);
    s.valid ? sqlite3_result_int(ctx, s.empty ? 1 : 0) : sqlite3_result_null(ctx);
}

template <double OGREnvelope::*Side>
void stSide(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const BlobShape s = readBlob(argv[0]);
    s.valid && !s.empty ? sqlite3_result_double(ctx, s.box.*Side) : sqlite3_result_null(ctx);
}

bool registerGeometryFunctions(sqlite3* db) {
    using Fn = void (*)(sqlite3_context*, int, sqlite3_value**);
    const std::pair<const char*, Fn> functions[] = {{"ST_IsEmpty", stIsEmpty},
                                                    {"ST_MinX", stSide<&OGREnvelope::MinX>},
                                                    {"ST_MaxX", stSide<&OGREnvelope::MaxX>},
                                                    {"ST_MinY", stSide<&OGREnvelope::MinY>},
                                                    {"ST_MaxY", stSide<&OGREnvelope::MaxY>}};
    for (const auto& [name, fn] : functions) {
        if (sqlite3_create_function(db, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, fn,
                                    nullptr, nullptr) != SQLITE_OK) {
            return false;
        }
    }
    return true;
}

// The first column of every row `query` gives, with `argument` bound to ?1.
QStringList firstColumn(sqlite3* db, const char* query, const QString& argument) {
    QStringList found;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, query, -1, &st, nullptr) == SQLITE_OK) {
        std::unique_ptr<sqlite3_stmt, Closer> statement(st);
        const QByteArray bound = argument.toUtf8();
        if (sqlite3_bind_parameter_count(st) > 0) {
            sqlite3_bind_text(st, 1, bound.constData(), bound.size(), SQLITE_TRANSIENT);
        }
        while (sqlite3_step(st) == SQLITE_ROW) {
            found << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        }
    }
    return found;
}

// The names of the triggers `sql` would run: while compiling a statement,
// SQLite names the trigger behind every access it asks the authoriser about.
bool triggersRunBy(sqlite3* db, const QByteArray& sql, QSet<QString>& names) {
    auto note = [](void* found, int, const char*, const char*, const char*, const char* trigger) {
        if (trigger) {
            static_cast<QSet<QString>*>(found)->insert(QString::fromUtf8(trigger));
        }
        return SQLITE_OK;
    };
    sqlite3_set_authorizer(db, note, &names);
    sqlite3_stmt* st = nullptr;
    const bool prepared = sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK;
    sqlite3_finalize(st);
    sqlite3_set_authorizer(db, nullptr, nullptr);
    return prepared;
}

// SQL with identifier quotes, case and white space taken out.
QString squeezed(const QString& sql) {
    QString out;
    out.reserve(sql.size());
    for (const QChar c : sql) {
        if (!c.isSpace() && c != QLatin1Char('"') && c != QLatin1Char('`') &&
            c != QLatin1Char('[') && c != QLatin1Char(']')) {
            out += c.toLower();
        }
    }
    return out;
}

}  // namespace

bool idleWhileIdsStay(const QString& triggerSql, const QString& name, const QString& table,
                      const QString& fidColumn) {
    const QString sql = squeezed(triggerSql);
    const QString fid = squeezed(fidColumn);
    const QString head = QStringLiteral("createtrigger") + squeezed(name) +
                         QStringLiteral("afterupdateon") + squeezed(table);
    const QString condition =
        QStringLiteral("whenold.") + fid + QStringLiteral("!=new.") + fid + QStringLiteral("and(");
    if (!sql.startsWith(head)) {
        return false;
    }
    int at = head.size();
    if (sql.midRef(at).startsWith(QLatin1String("foreachrow"))) {
        at += 10;
    }
    if (!sql.midRef(at).startsWith(condition)) {
        return false;
    }
    // The bracketed rest of the condition must close right before the body,
    // so nothing can be ORed to the unequal ids. Texts in quotes could hide
    // brackets: any such trigger counts as acting.
    int depth = 1;
    for (at += condition.size(); at < sql.size(); ++at) {
        const QChar c = sql.at(at);
        if (c == QLatin1Char('\'') || c == QLatin1Char(';')) {
            return false;
        }
        if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')') && --depth == 0) {
            return sql.midRef(at + 1).startsWith(QLatin1String("begin"));
        }
    }
    return false;
}

QgsChangedAttributesMap changedAttributes(const std::vector<QgsFeatureId>& ids,
                                          const StagedValues& staged) {
    QgsChangedAttributesMap changes;
    for (const auto& [field, column] : staged) {
        for (size_t row = 0; row < column.written.size(); ++row) {
            if (column.written[row]) {
                changes[ids[row]][field] = column.values[row];
            }
        }
    }
    return changes;
}

std::optional<GeoPackageTable> geoPackageTableOf(const QString& providerName,
                                                 const QString& storageType,
                                                 const QString& dataSourceUri) {
    if (providerName != QLatin1String("ogr") || storageType != QLatin1String("GPKG")) {
        return std::nullopt;
    }
    // "path|layername=table" (other parts, such as a subset, are not ours).
    const QStringList parts = dataSourceUri.split(QLatin1Char('|'));
    GeoPackageTable t;
    t.path = parts.value(0);
    for (const QString& part : parts.mid(1)) {
        if (part.startsWith(QLatin1String("layername="))) {
            t.table = part.mid(10);
        }
    }
    // Read straight from SQLite: opening the dataset through GDAL costs more.
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(QFile::encodeName(t.path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    if (opened != SQLITE_OK) {
        return std::nullopt;
    }
    if (t.table.isEmpty()) {
        // The file's only feature table when the address names none.
        const QStringList tables = firstColumn(
            db.get(), "SELECT table_name FROM gpkg_contents WHERE data_type = 'features'",
            QString());
        if (tables.size() != 1) {
            return std::nullopt;
        }
        t.table = tables.first();
    }
    // The feature id is the table's integer primary key.
    const QStringList keys = firstColumn(
        db.get(), "SELECT name FROM pragma_table_info(?1) WHERE pk = 1 AND upper(type) = 'INTEGER'",
        t.table);
    if (keys.size() != 1) {
        return std::nullopt;
    }
    t.fidColumn = keys.first();
    const QStringList range =
        firstColumn(db.get(),
                    QStringLiteral("SELECT min(%1) FROM %2 UNION ALL SELECT max(%1) FROM %2")
                        .arg(quoted(t.fidColumn), quoted(t.table))
                        .toUtf8()
                        .constData(),
                    QString());
    if (range.size() == 2 && !range[0].isEmpty()) {
        t.firstId = range[0].toLongLong();
        t.lastId = range[1].toLongLong();
    }
    return t;
}

bool updateGeoPackage(const GeoPackageTable& target, const QgsFields& fields,
                      const std::vector<QgsFeatureId>& ids, const StagedValues& changes,
                      QString& error) {
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(target.path).constData(), &raw,
                                       SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, Closer> db(raw);
    auto fail = [&](const char* what) {
        error = QStringLiteral("%1: %2").arg(
            QLatin1String(what),
            db ? QString::fromUtf8(sqlite3_errmsg(db.get())) : QStringLiteral("cannot open"));
        if (db) {
            sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        }
        return false;
    };
    if (opened != SQLITE_OK) {
        return fail("Cannot open the GeoPackage");
    }
    sqlite3_busy_timeout(db.get(), 10000);  // QGIS may be reading the same file
    if (!registerGeometryFunctions(db.get())) {
        return fail("Cannot prepare the GeoPackage");
    }
    if (sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return fail("Cannot start writing");
    }
    // One statement per field: a single pass over the table, in id order,
    // costs far less than a statement per feature.
    for (const auto& [field, column] : changes) {
        if (field < 0 || field >= fields.count()) {
            error = QStringLiteral("Field index %1 is out of range.").arg(field);
            return fail("Cannot write");
        }
        StagedLookup lookup(ids, column);
        if (sqlite3_create_function(db.get(), "bramlotte_staged_is_set", 1, SQLITE_UTF8, &lookup,
                                    StagedLookup::isSet, nullptr, nullptr) != SQLITE_OK ||
            sqlite3_create_function(db.get(), "bramlotte_staged_value", 1, SQLITE_UTF8, &lookup,
                                    StagedLookup::value, nullptr, nullptr) != SQLITE_OK) {
            return fail("Cannot prepare the update");
        }
        const QString fid = quoted(target.fidColumn);
        const QString sql = QStringLiteral(
                                "UPDATE %1 SET %2 = bramlotte_staged_value(%3) "
                                "WHERE bramlotte_staged_is_set(%3)")
                                .arg(quoted(target.table), quoted(fields.at(field).name()), fid);
        const QByteArray statement = sql.toUtf8();
        // The triggers that keep a GeoPackage's spatial index run for every
        // row an UPDATE touches, and cost a third of it, yet do nothing while
        // ids stay as they are. Only when every trigger this UPDATE would run
        // is of that kind are triggers set aside for it.
        sqlite3_db_config(db.get(), SQLITE_DBCONFIG_ENABLE_TRIGGER, 1, nullptr);
        QSet<QString> triggers;
        if (!triggersRunBy(db.get(), statement, triggers)) {
            return fail("Cannot prepare the update");
        }
        const bool idle = std::all_of(triggers.begin(), triggers.end(), [&](const QString& name) {
            const QStringList sqls = firstColumn(
                db.get(), "SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name = ?1",
                name);
            return sqls.size() == 1 &&
                   idleWhileIdsStay(sqls.first(), name, target.table, target.fidColumn);
        });
        sqlite3_db_config(db.get(), SQLITE_DBCONFIG_ENABLE_TRIGGER, idle ? 0 : 1, nullptr);
        if (sqlite3_exec(db.get(), statement.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            return fail("Cannot write the values");
        }
        // Every feature must have taken its value: one missing from the table
        // (deleted by someone else meanwhile) fails the whole edit.
        const auto changed = static_cast<size_t>(sqlite3_changes(db.get()));
        if (changed != column.count) {
            sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            error = QStringLiteral("%1 of the %2 features written are no longer in the table.")
                        .arg(column.count - changed)
                        .arg(column.count);
            return false;
        }
    }
    if (sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return fail("Cannot save the values");
    }
    return true;
}

}  // namespace bramlotte::qgishost
