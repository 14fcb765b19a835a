#include "index/relate.h"

#include "index/feature_entries.h"
#include "index/index_keys.h"
#include "index/known_keys.h"
#include "index/text_forms.h"

#include <algorithm>

namespace bramlotte::index {

const QStringList& relationshipNames() {
    static const QStringList names = {QStringLiteral("INTERSECT"),
                                      QStringLiteral("ENVELOPE INTERSECTS"),
                                      QStringLiteral("TOUCH"),
                                      QStringLiteral("OVERLAP"),
                                      QStringLiteral("CROSS"),
                                      QStringLiteral("WHOLLY CONTAIN"),
                                      QStringLiteral("ARE WHOLLY CONTAINED BY")};
    return names;
}

std::optional<int32_t> relationshipCode(const QString& name) {
    static const int32_t codes[] = {
        host::relation::kIntersects, host::relation::kEnvelopeIntersects,
        host::relation::kTouches,    host::relation::kOverlaps,
        host::relation::kCrosses,    host::relation::kContains,
        host::relation::kIsWithin};
    const int at = relationshipNames().indexOf(name);  // exact, case-sensitive
    if (at < 0) {
        return std::nullopt;
    }
    return codes[at];
}

namespace {

// One entry per layer with skipped features. A layer that is both Layer #1
// and Layer #2 is read twice, and both reads skip the same features.
std::vector<SkippedOfLayer> skippedByLayer(const QString& name1, const host::SkippedShapes& of1,
                                           const QString& name2, const host::SkippedShapes& of2) {
    std::vector<SkippedOfLayer> layers;
    if (name1.compare(name2, Qt::CaseInsensitive) == 0) {
        layers.push_back({name1, of1.count() >= of2.count() ? of1 : of2});
    } else {
        layers.push_back({name1, of1});
        layers.push_back({name2, of2});
    }
    layers.erase(std::remove_if(layers.begin(), layers.end(),
                                [](const SkippedOfLayer& l) { return !l.shapes.any(); }),
                 layers.end());
    return layers;
}

}  // namespace

IndexMap Relate(const RelateInputs& in, host::ProgressIndicator* progress) {
    IndexMap map(in.itemSeparator);
    std::shared_ptr<host::FeatureClass> searched = in.layer2->featureClass();
    FeatureEntries featureEntries(in.fieldWriter ? searched->featureCount() : 0);
    // Keys by value code; only while no values are written, as a written
    // value would change what a code stands for.
    // Nor where features of one value get keys of their own.
    KnownKeys knownKeys;
    const bool useCodes = !in.fieldWriter && !(in.keys && in.keys->byFeature());

    host::SkippedShapes skipped1;  // Layer #1 features whose shapes cannot be searched with
    host::SpatialFilter filter{nullptr, in.relationship, searched->shapeFieldName()};
    if (in.field2 >= 0) {
        filter.subFields = {in.field2};  // the only value read of a related feature
    }
    // A search that fails: Layer #2 that cannot be read is no question of
    // shapes, it fails the build as it is.
    auto searching = [](const auto& search) {
        try {
            return search();
        } catch (const support::Failure& e) {
            if (e.number() == support::error::kReadFailed) {
                throw;
            }
            throw RelateFailure(e);
        }
    };
    // Values written go through update cursors. The host may make the
    // searches ahead of this loop.
    std::unique_ptr<host::FeatureCursor> features1 = in.layer1->search();
    std::unique_ptr<host::SearchWalk> walk = searching([&] {
        return searched->searchEach(std::move(features1), filter, in.fieldWriter != nullptr);
    });
    while (std::unique_ptr<host::Feature> feature1 = walk->nextFeature()) {
        if (progress) {
            progress->step();
        }
        filter.geometry = feature1->shape();
        if (filter.geometry && !filter.geometry->isUsable()) {
            skipped1.add(filter.geometry->fault(), feature1->id());  // it relates to nothing
            continue;
        }
        const std::unique_ptr<host::FeatureCursor> related =
            searching([&] { return walk->related(filter.geometry); });

        // The Layer #1 item, read once and only when a related feature needs
        // it; empty for a blank value.
        std::optional<IndexMap::Item> item;
        auto pageItem = [&]() -> const IndexMap::Item& {
            if (!item) {
                const QString text = nonBlankTextForm(feature1->value(in.field1));
                item = text.isNull() ? IndexMap::Item{} : map.item(QStringLiteral(" ") + text);
            }
            return *item;
        };
        auto hasItem = [&] { return pageItem().text >= 0; };

        while (std::unique_ptr<host::Feature> feature2 = related->nextFeature()) {
            if (in.gatherIndex) {
                const long long code = useCodes ? feature2->valueCode(in.field2) : -1;
                const int known = knownKeys.find(code);
                if (known >= 0) {
                    if (hasItem()) {
                        map.addItemAt(known, pageItem());
                    }
                } else if (known == KnownKeys::kUnknown) {
                    QString key = nonBlankTextForm(feature2->value(in.field2));
                    if (!key.isNull() && in.keys && !in.keys->plain()) {
                        key = in.keys->keyOf(key, *feature2);
                    }
                    if (key.isNull()) {
                        knownKeys.remember(code, KnownKeys::kBlank);
                    } else if (hasItem()) {
                        int position = -1;
                        map.addItem(key, pageItem(), &position);
                        knownKeys.remember(code, position);
                    }
                }
            }
            if (in.fieldWriter && hasItem()) {
                // Each feature gets all its own items, whatever its key.
                FeatureEntry& own = featureEntries.of(*feature2);
                own.add(map.itemText(pageItem()), pageItem().folded, in.itemSeparator);
                in.fieldWriter->write(*feature2, *related, own.text());
            }
        }
    }
    if (in.skipped) {
        skipped1.merge(walk->skippedShapes());
        *in.skipped = skippedByLayer(in.layer1->name(), skipped1, in.layer2->name(),
                                     searched->skippedShapes());
    }
    return map;
}

}  // namespace bramlotte::index
