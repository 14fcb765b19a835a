#include "map/qgis/geopackage_update.h"

#include <gdal.h>
#include <ogr_api.h>
#include <sqlite3.h>

#include <QDate>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <vector>

#include <memory>

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

// Binds a value the way GeoPackages store it (dates as ISO text).
int bind(sqlite3_stmt* s, int at, const QVariant& v) {
    if (v.isNull()) {
        return sqlite3_bind_null(s, at);
    }
    switch (v.type()) {
        case QVariant::Int:
        case QVariant::LongLong:
        case QVariant::UInt:
        case QVariant::ULongLong:
        case QVariant::Bool:
            return sqlite3_bind_int64(s, at, v.toLongLong());
        case QVariant::Double:
            return sqlite3_bind_double(s, at, v.toDouble());
        case QVariant::Date:
            return sqlite3_bind_text(s, at, v.toDate().toString(Qt::ISODate).toUtf8().constData(),
                                     -1, SQLITE_TRANSIENT);
        case QVariant::DateTime:
            return sqlite3_bind_text(s, at,
                                     v.toDateTime()
                                         .toUTC()
                                         .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"))
                                         .toUtf8()
                                         .constData(),
                                     -1, SQLITE_TRANSIENT);
        default: {
            const QByteArray text = v.toString().toUtf8();
            return sqlite3_bind_text(s, at, text.constData(), text.size(), SQLITE_TRANSIENT);
        }
    }
}

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

}  // namespace

QgsChangedAttributesMap changedAttributes(const StagedValues& staged) {
    QgsChangedAttributesMap changes;
    for (const auto& [field, values] : staged) {
        for (const auto& [fid, value] : values) {
            changes[fid][field] = value;
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
    GDALDatasetH ds = GDALOpenEx(QFile::encodeName(t.path).constData(),
                                 GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (!ds) {
        return std::nullopt;
    }
    OGRLayerH layer = t.table.isEmpty()
                          ? GDALDatasetGetLayer(ds, 0)
                          : GDALDatasetGetLayerByName(ds, t.table.toUtf8().constData());
    if (layer) {
        t.table = QString::fromUtf8(OGR_L_GetName(layer));
        t.fidColumn = QString::fromUtf8(OGR_L_GetFIDColumn(layer));
    }
    GDALClose(ds);
    if (!layer || t.fidColumn.isEmpty()) {
        return std::nullopt;
    }
    return t;
}

bool updateGeoPackage(const GeoPackageTable& target, const QgsFields& fields,
                      const StagedValues& changes, QString& error) {
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
    // One prepared statement per field written.
    for (const auto& [field, values] : changes) {
        if (field < 0 || field >= fields.count()) {
            error = QStringLiteral("Field index %1 is out of range.").arg(field);
            return fail("Cannot write");
        }
        const QString sql = QStringLiteral("UPDATE %1 SET %2 = ?1 WHERE %3 = ?2")
                                .arg(quoted(target.table), quoted(fields.at(field).name()),
                                     quoted(target.fidColumn));
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(db.get(), sql.toUtf8().constData(), -1, &raw, nullptr) !=
            SQLITE_OK) {
            return fail("Cannot prepare the update");
        }
        std::unique_ptr<sqlite3_stmt, Closer> statement(raw);
        // In id order the table's pages are visited once each, in sequence.
        std::vector<std::pair<QgsFeatureId, const QVariant*>> ordered;
        ordered.reserve(values.size());
        for (const auto& [fid, value] : values) {
            ordered.emplace_back(fid, &value);
        }
        std::sort(ordered.begin(), ordered.end());
        for (const auto& [fid, value] : ordered) {
            if (bind(raw, 1, *value) != SQLITE_OK || sqlite3_bind_int64(raw, 2, fid) != SQLITE_OK ||
                sqlite3_step(raw) != SQLITE_DONE) {
                return fail("Cannot write a value");
            }
            sqlite3_reset(raw);
        }
    }
    if (sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return fail("Cannot save the values");
    }
    return true;
}

}  // namespace bramlotte::qgishost
