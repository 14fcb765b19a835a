#include "map/qgis/features/street_localities.h"

#include "map/qgis/features/qgis_shape.h"
#include "map/qgis/reading/feature_store.h"
#include "map/qgis/reading/wkb_writer.h"
#include "map/search/street_localities.h"

#include <qgscoordinatetransform.h>
#include <qgsvectordataprovider.h>

#include <QHash>

#include <algorithm>
#include <cmath>
#include <optional>

namespace bramlotte::qgishost {
namespace {

// Null, or text of spaces only: no key and no name, as the index reads them.
bool isBlank(const QVariant& value) {
    if (value.isNull()) {
        return true;
    }
    if (value.type() != QVariant::String) {
        return false;
    }
    const QString text = value.toString();
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == QLatin1Char(' '); });
}

// Numbers for values met one after the other: equal values, equal numbers.
class ValueNumbers {
  public:
    // The number of `value`, new ones from 0 up; -1 for a blank value.
    int32_t of(const QVariant& value) {
        if (isBlank(value)) {
            return -1;
        }
        const QString text = value.toString();
        const auto at = numbers_.constFind(text);
        if (at != numbers_.constEnd()) {
            return *at;
        }
        const auto number = static_cast<int32_t>(values_.size());
        numbers_.insert(text, number);
        values_.push_back(value);
        return number;
    }
    const std::vector<QVariant>& values() const { return values_; }

  private:
    QHash<QString, int32_t> numbers_;
    std::vector<QVariant> values_;
};

// The localities of a layer as WKB in the streets' coordinate system.
struct LocalityShapes {
    std::vector<unsigned char> wkb;
    std::vector<size_t> offsets{0};  // count + 1
    std::vector<long long> ids;
    std::vector<uint32_t> names;  // numbers of the names
    ValueNumbers nameNumbers;
    host::SkippedShapes skipped;

    std::vector<search::LocalityArea> areas() const {
        std::vector<search::LocalityArea> out;
        for (size_t i = 0; i + 1 < offsets.size(); ++i) {
            out.push_back({names[i], wkb.data() + offsets[i], offsets[i + 1] - offsets[i]});
        }
        return out;
    }
};

LocalityShapes readLocalities(host::FeatureLayer& layer, int nameField,
                              const QgsCoordinateReferenceSystem& into,
                              const QgsCoordinateTransformContext& context) {
    const std::shared_ptr<host::FeatureClass> features = layer.featureClass();
    if (nameField < 0 || nameField >= features->fieldCount()) {
        throw support::Failure(support::error::kInvalidArgument,
                               QStringLiteral("Field index %1 of layer %2 is out of range.")
                                   .arg(nameField)
                                   .arg(layer.name()));
    }
    LocalityShapes out;
    std::optional<QgsCoordinateTransform> transform;
    const std::unique_ptr<host::FeatureCursor> cursor = layer.search();
    while (const std::unique_ptr<host::Feature> feature = cursor->nextFeature()) {
        const QVariant name = feature->value(nameField);
        const std::shared_ptr<const host::Shape> shape = feature->shape();
        if (isBlank(name) || !shape || shape->isEmpty()) {
            continue;
        }
        if (!shape->isUsable()) {
            out.skipped.add(shape->fault(), feature->id());
            continue;
        }
        const auto* own = dynamic_cast<const QgisShape*>(shape.get());
        if (!own) {
            throw support::Failure(support::error::kInvalidArgument,
                                   QStringLiteral("The shapes of layer %1 do not come from this "
                                                  "host.")
                                       .arg(layer.name()));
        }
        QgsGeometry g = own->geometry();
        if (g.type() != QgsWkbTypes::PolygonGeometry) {
            throw support::Failure(support::error::kRelationUndefined,
                                   QStringLiteral("Feature %1 of layer %2 is no area: localities "
                                                  "must be polygons.")
                                       .arg(feature->id())
                                       .arg(layer.name()));
        }
        if (own->crs().isValid() && into.isValid() && own->crs() != into) {
            if (!transform || transform->sourceCrs() != own->crs()) {
                transform.emplace(own->crs(), into, context);
            }
            try {
                g.transform(*transform);
            } catch (const QgsCsException& e) {
                throw support::Failure(support::error::kFail,
                                       QStringLiteral("Feature %1 of layer %2 cannot be "
                                                      "transformed into the streets' coordinate "
                                                      "system: %3")
                                           .arg(feature->id())
                                           .arg(layer.name(), e.what()));
            }
        }
        appendWkb(*g.constGet(), out.wkb);
        out.offsets.push_back(out.wkb.size());
        out.ids.push_back(feature->id());
        out.names.push_back(static_cast<uint32_t>(out.nameNumbers.of(name)));
    }
    out.skipped.merge(cursor->skippedShapes());
    return out;
}

}  // namespace

host::StreetLocalities findStreetLocalities(QgsVectorLayer& streets, int keyField,
                                            host::FeatureLayer& localities, int nameField,
                                            const host::LocalityRule& rule) {
    if (!(rule.joinDistance >= 0) || !std::isfinite(rule.joinDistance)) {
        throw support::Failure(support::error::kInvalidArgument,
                               QStringLiteral("The join distance must be a number of at least 0."));
    }
    if (!streets.dataProvider()) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The layer no longer exists."));
    }
    const int fieldCount = streets.dataProvider()->fields().count();
    if (keyField < 0 || keyField >= fieldCount) {
        throw support::Failure(support::error::kInvalidArgument,
                               QStringLiteral("Field index %1 of layer %2 is out of range.")
                                   .arg(keyField)
                                   .arg(streets.name()));
    }
    const LocalityShapes places =
        readLocalities(localities, nameField, streets.crs(), streets.transformContext());

    // The streets' keys and shapes as the store holds them.
    FeatureStore& store = FeatureStore::of(streets);
    store::WantedFields wanted(static_cast<size_t>(fieldCount), false);
    wanted[static_cast<size_t>(keyField)] = true;
    store.ensureLoaded(wanted);
    const store::FeatureTable& table = store.table();
    std::vector<search::StreetSegment> segments(table.rowCount());
    ValueNumbers keys;
    std::vector<int32_t> keyOfCode;  // by value code; -2 until met
    for (size_t row = 0; row < table.rowCount(); ++row) {
        if (!table.hasGeometry(row)) {
            continue;
        }
        search::StreetSegment& s = segments[row];
        s.wkb = table.wkb(row, s.size);
        const int64_t code = table.valueCode(row, keyField);
        if (code < 0) {
            s.key = keys.of(table.value(row, keyField));
            continue;
        }
        if (static_cast<size_t>(code) >= keyOfCode.size()) {
            keyOfCode.resize(static_cast<size_t>(code) + 1, -2);
        }
        int32_t& key = keyOfCode[static_cast<size_t>(code)];
        if (key == -2) {
            key = keys.of(table.value(row, keyField));
        }
        s.key = key;
    }

    search::StreetLocalityResult found;
    try {
        found = search::findStreetLocalities(segments, places.areas(),
                                             {rule.joinDistance, rule.always});
    } catch (const search::LocalityShapeFailure& e) {
        const bool ofStreet = e.of == search::LocalityShapeFailure::Of::Segment;
        throw support::Failure(
            support::error::kFail,
            QStringLiteral("The shape of feature %1 of layer %2 cannot be placed among the "
                           "localities: %3")
                .arg(ofStreet ? table.id(e.index) : places.ids[e.index])
                .arg(ofStreet ? streets.name() : localities.name(),
                     QString::fromStdString(e.what())));
    }

    std::vector<host::StreetLocalities::Street> placed(found.keyOf.size());
    for (size_t s = 0; s < placed.size(); ++s) {
        placed[s] = {found.localityOf[s], found.shown[s] != 0};
    }
    std::vector<QVariant> names;
    for (const uint32_t name : places.names) {
        names.push_back(places.nameNumbers.values()[name]);
    }
    host::StreetLocalities result(table.ids(),
                                  std::vector<int>(found.streetOf.begin(), found.streetOf.end()),
                                  std::move(placed), std::move(names));
    for (size_t key = 0; key < found.split.size(); ++key) {
        if (found.split[key]) {
            result.splitKeys.push_back(keys.values()[key]);
        }
        if (found.toCheck[key]) {
            result.keysToCheck.push_back(keys.values()[key]);
        }
    }
    result.skippedLocalities = places.skipped;
    return result;
}

}  // namespace bramlotte::qgishost
