#include "map/qgis/reading/layer_reading.h"

#include "map/qgis/reading/direct_read.h"
#include "map/qgis/reading/postgis_read.h"
#include "map/qgis/reading/read_errors.h"
#include "map/search/wkb.h"

#include "map/host.h"
#include "map/qgis/reading/wkb_writer.h"
#include "map/qgis/writing/geopackage_update.h"
#include "support/base/both_at_once.h"

#include <cpl_error.h>
#include <ogr_api.h>
#include <qgsexpression.h>
#include <qgsfeatureiterator.h>
#include <qgsfeaturerequest.h>
#include <qgsvectordataprovider.h>
#include <qgsvectorlayer.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>

namespace bramlotte::qgishost {
namespace {

search::Box toBox(const QgsRectangle& r) {
    return {r.xMinimum(), r.yMinimum(), r.xMaximum(), r.yMaximum()};
}

// Adds feature `f` as a row, column i taking its attribute `attributeOf[i]`.
void addFeature(StoreRows& rows, const QgsFeature& f, const QgsAttributeList& attributeOf) {
    rows.ids.push_back(f.id());
    const QgsAttributes values = f.attributes();
    for (size_t i = 0; i < rows.columns.size(); ++i) {
        const int a = attributeOf[static_cast<int>(i)];
        rows.columns[i].append(a >= 0 && a < values.size() ? values.at(a) : QVariant());
    }
    search::FloatBox box;
    const QgsAbstractGeometry* g = f.hasGeometry() ? f.geometry().constGet() : nullptr;
    if (g && !g->isEmpty()) {
        const size_t start = rows.wkbData.size();
        appendWkb(*g, rows.wkbData);
        const host::ShapeFault fault =
            search::wkbFault(rows.wkbData.data() + start, rows.wkbData.size() - start);
        if (fault == host::ShapeFault::None) {
            box = search::FloatBox::around(toBox(g->boundingBox()));
        } else {
            // A NaN or an infinity would spoil the tree's order and every box
            // above it: the row keeps its values but meets nothing.
            rows.wkbData.resize(start);
            rows.skipped.add(fault, f.id());
        }
    }
    rows.endRow(box);
}

// Reads every feature `it` delivers; what the data source reports meanwhile
// goes to `errors`, but for the shapes it could not read, which are skipped.
void readAll(QgsFeatureIterator& it, const QgsAttributeList& attributeOf, StoreRows& rows,
             ReadErrors& errors) {
    ReadErrorScope scope(errors);
    QgsFeature f;
    while (nextFeature(it, f, scope, rows.skipped)) {
        addFeature(rows, f, attributeOf);
    }
}

// Whether the host's reader (GDAL's) reads `wkb`, a shape the direct read
// finds malformed. Its complaints about the shape are not printed.
bool gdalReads(const unsigned char* wkb, size_t size) {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    OGRGeometryH g = nullptr;
    const bool read = OGR_G_CreateFromWkbEx(wkb, nullptr, &g, size) == OGRERR_NONE && g;
    if (g) {
        OGR_G_DestroyGeometry(g);
    }
    CPLPopErrorHandler();
    return read;
}

}  // namespace

std::optional<StoreRows> readDirectly(QgsVectorLayer& layer, size_t splitFrom,
                                      const store::WantedFields& wanted) {
    std::optional<store::GeoPackageQuery> query = geoPackageQueryOf(layer, wanted);
    if (!query) {
        return std::nullopt;
    }
    query->hostReads = gdalReads;
    const QString name = layer.name();
    // Room for the rows the table holds, never for the span of their ids.
    const store::RowSpread spread = store::rowSpreadOf(
        query->path, query->table, query->geometryColumn, query->firstId, query->lastId);
    const size_t rows = spread.rows > 0 ? static_cast<size_t>(spread.rows) : 0;
    if (spread.rows >= 0 ? rows < splitFrom : query->lastId <= query->firstId) {
        return store::readGeoPackageRows(*query, std::numeric_limits<qint64>::min(),
                                         std::numeric_limits<qint64>::max(), name, rows);
    }
    // Two halves by id on two threads, each with a connection of its own.
    // Whichever thread is done first reads the other's half from its end on
    // until they meet: fresh memory can cost one thread far more than the
    // other, and neither then waits long.
    const qint64 lowest = std::numeric_limits<qint64>::min();
    const qint64 highest = std::numeric_limits<qint64>::max();
    const qint64 middle = spread.middleId;
    const auto read = [&](qint64 first, qint64 last, size_t reserve) {
        return store::readGeoPackageRows(*query, first, last, name, reserve);
    };
    const auto meet = [&](qint64 first, qint64 last, size_t reserve, store::RangeMeeting& meeting,
                          store::RangeEnd from) {
        return store::readGeoPackageRowsMeeting(*query, first, last, name, reserve, meeting, from);
    };
    store::RangeMeeting headMeeting, tailMeeting;
    std::optional<StoreRows> head, headEnd, tail, tailEnd;
    // A reader from the top end may take a whole half: room for it, in
    // address space only, so that the piece is not grown by copying.
    const size_t half = rows / 2 + 1;
    support::bothAtOnce(
        [&] {
            tail = meet(middle, highest, half, tailMeeting, store::RangeEnd::Lowest);
            if (tail) {
                headEnd = meet(lowest, middle - 1, half, headMeeting, store::RangeEnd::Highest);
            }
        },
        [&] {
            // The head takes the rest in after: room for all.
            head = meet(lowest, middle - 1, rows, headMeeting, store::RangeEnd::Lowest);
            if (head) {
                tailEnd = meet(middle, highest, half, tailMeeting, store::RangeEnd::Highest);
            }
        });
    if (!head || !tail || !headEnd || !tailEnd) {
        return std::nullopt;
    }
    // The ids where both readers of a half stopped at once, read here;
    // then all in id order, the tail's own rows keeping their block.
    const auto addGap = [&](const store::RangeMeeting& meeting, qint64 last) {
        if (meeting.gapLast(last) < meeting.gapFirst()) {
            return true;
        }
        std::optional<StoreRows> gap = read(meeting.gapFirst(), meeting.gapLast(last), 0);
        if (gap) {
            head->append(std::move(*gap), false);
        }
        return gap.has_value();
    };
    if (!addGap(headMeeting, middle - 1)) {
        return std::nullopt;
    }
    head->append(std::move(*headEnd), false);
    head->append(std::move(*tail));
    if (!addGap(tailMeeting, highest)) {
        return std::nullopt;
    }
    head->append(std::move(*tailEnd), false);
    return head;
}

std::optional<StoreRows> readPostGis(QgsVectorLayer& layer, size_t splitFrom,
                                     const store::WantedFields& wanted, RowIds ids) {
    const std::optional<store::PostGisQuery> query = postGisQueryOf(layer, wanted, ids);
    if (!query) {
        return std::nullopt;
    }
    return store::readPostGisRows(*query, layer.name(), splitFrom);
}

// The halves are read straight from the data source: the layer adds
// nothing to them while it is not being edited.
std::optional<StoreRows> readHalves(QgsVectorLayer& layer, size_t splitFrom) {
    QgsVectorDataProvider* provider = layer.dataProvider();
    const long long features = layer.featureCount();
    if (features < 0 || static_cast<size_t>(features) < splitFrom || layer.isEditable() ||
        provider->transaction()) {
        return std::nullopt;
    }
    const std::optional<GeoPackageTable> table =
        geoPackageTableOf(provider->name(), provider->storageType(), provider->dataSourceUri());
    const QgsFields own = provider->fields();
    if (!table || table->lastId <= table->firstId || own.indexFromName(table->fidColumn) < 0) {
        return std::nullopt;
    }
    const std::optional<store::GeoPackageTableInfo> info =
        store::geoPackageTableInfo(table->path, table->table);
    const qint64 middle =
        store::rowSpreadOf(table->path, table->table, info ? info->geometryColumn : QString(),
                           table->firstId, table->lastId)
            .middleId;
    const QString id = QgsExpression::quotedColumnRef(table->fidColumn);
    QgsFeatureRequest first, second;
    first.setFilterExpression(QStringLiteral("%1 < %2").arg(id).arg(middle));
    second.setFilterExpression(QStringLiteral("%1 >= %2").arg(id).arg(middle));
    // Sources and iterators are made here, on the layer's thread.
    std::unique_ptr<QgsAbstractFeatureSource> firstSource(provider->featureSource());
    std::unique_ptr<QgsAbstractFeatureSource> secondSource(provider->featureSource());
    QgsFeatureIterator firstIt = firstSource->getFeatures(first);
    QgsFeatureIterator secondIt = secondSource->getFeatures(second);
    const auto compiled = QgsAbstractFeatureIterator::Compiled;
    if (!firstIt.isValid() || !secondIt.isValid() || firstIt.compileStatus() != compiled ||
        secondIt.compileStatus() != compiled) {
        return std::nullopt;
    }
    QgsAttributeList attributeOf;
    for (int i = 0; i < own.count(); ++i) {
        attributeOf << i;  // the data source's own attributes, as they come
    }
    StoreRows head(integerColumns(own)), tail(integerColumns(own));
    head.reserve(static_cast<size_t>(features) / 2 + 1);
    tail.reserve(static_cast<size_t>(features) / 2 + 1);
    ReadErrors errors;
    support::bothAtOnce([&] { readAll(secondIt, attributeOf, tail, errors); },
                        [&] { readAll(firstIt, attributeOf, head, errors); });
    errors.check(layer.name());
    head.append(std::move(tail));
    return head;
}

std::vector<bool> integerColumns(const QgsFields& fields) {
    std::vector<bool> integers;
    integers.reserve(static_cast<size_t>(fields.count()));
    for (int i = 0; i < fields.count(); ++i) {
        const QVariant::Type type = fields.at(i).type();
        integers.push_back(type == QVariant::Int || type == QVariant::LongLong ||
                           type == QVariant::UInt || type == QVariant::ULongLong);
    }
    return integers;
}

QgsAttributeList ownFieldIndexes(const QgsVectorLayer& layer) {
    QgsAttributeList indexes;
    const QgsFields own = layer.dataProvider()->fields();
    for (int i = 0; i < own.count(); ++i) {
        indexes << layer.fields().indexFromName(own.at(i).name());
    }
    return indexes;
}

StoreRows readThroughIterator(QgsVectorLayer& layer) {
    QgsVectorDataProvider* provider = layer.isValid() ? layer.dataProvider() : nullptr;
    if (!provider) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The layer's data source cannot be read."));
    }
    // The data source's own fields, in their order, as the layer presents them.
    const QgsAttributeList attributeOf = ownFieldIndexes(layer);
    QgsFeatureRequest request;
    request.setSubsetOfAttributes(attributeOf);
    StoreRows rows(integerColumns(provider->fields()));
    rows.reserve(static_cast<size_t>(std::max<long long>(0, layer.featureCount())));
    ReadErrors errors;
    QgsFeatureIterator it;
    {
        const ReadErrorScope scope(errors);
        it = layer.getFeatures(request);
    }
    readAll(it, attributeOf, rows, errors);
    errors.check(layer.name());
    if (!it.isValid() && rows.count() == 0 && layer.featureCount() > 0) {
        throw support::Failure(
            support::error::kFail,
            QStringLiteral("The features of layer %1 cannot be read.").arg(layer.name()));
    }
    rows.sortById();
    return rows;
}

StoreRows readRows(QgsVectorLayer& layer, size_t splitFrom, const store::WantedFields& wanted,
                   RowIds ids) {
    if (!layer.isValid() || !layer.dataProvider()) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The layer's data source cannot be read."));
    }
    std::optional<StoreRows> rows = readPostGis(layer, splitFrom, wanted, ids);
    if (!rows) {
        rows = readDirectly(layer, splitFrom, wanted);
    }
    if (!rows) {
        rows = readHalves(layer, splitFrom);
    }
    if (!rows) {
        return readThroughIterator(layer);
    }
    rows->sortById();
    return std::move(*rows);
}

}  // namespace bramlotte::qgishost
