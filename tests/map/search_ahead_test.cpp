// The reader's help for features not yet taken: each at most once, done
// before its feature is taken, never after. A walk whose searches the page
// reader makes ahead gives, page for page, what the searches made in turn
// give: rectangles and other pages mixed, pages without shapes or empty,
// and the searched layer changing part way through the walk.
#include "map/qgis/features/search_ahead.h"
#include "map/map_walk.h"
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/reading/feature_read_ahead.h"
#include "tests/testing/test_maps.h"

#include <qgsproject.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <thread>

using namespace bramlotte;
using bramlotte::testmaps::memoryLayer;

namespace {

// Short streets on a 100 × 100 grid, many crossing the pages' edges, some
// long diagonals across several pages, a few without a shape.
std::vector<testmaps::Row> streets() {
    std::vector<testmaps::Row> rows;
    for (int i = 0; i < 6000; ++i) {
        const double x = (i * 7919 % 10000) / 100.0, y = (i * 104729 % 10000) / 100.0;
        QString wkt =
            QStringLiteral("LINESTRING(%1 %2, %3 %4)").arg(x).arg(y).arg(x + 1.3).arg(y + 0.4);
        if (i % 500 == 0) {
            wkt = QStringLiteral("LINESTRING(%1 0, 100 %2)").arg(x).arg(100 - x);
        } else if (i % 777 == 0) {
            wkt.clear();
        }
        rows.push_back({wkt, {QStringLiteral("s%1").arg(i)}});
    }
    return rows;
}

// A 60 × 60 grid of square pages (more than the reader holds at once), with
// triangles, a page without a shape and an empty one among them.
std::vector<testmaps::Row> pages() {
    std::vector<testmaps::Row> rows;
    for (int r = 0; r < 60; ++r) {
        for (int c = 0; c < 60; ++c) {
            const double x = c * 100.0 / 60, y = r * 100.0 / 60;
            QString wkt = QStringLiteral("POLYGON((%1 %2, %3 %2, %3 %4, %1 %4, %1 %2))")
                              .arg(x)
                              .arg(y)
                              .arg(x + 100.0 / 60)
                              .arg(y + 100.0 / 60);
            if ((r * 60 + c) % 97 == 0) {
                wkt = QStringLiteral("POLYGON((%1 %2, %3 %2, %1 %4, %1 %2))")
                          .arg(x)
                          .arg(y)
                          .arg(x + 5)
                          .arg(y + 5);
            } else if (r * 60 + c == 500) {
                wkt.clear();
            } else if (r * 60 + c == 900) {
                wkt = QStringLiteral("POLYGON EMPTY");
            }
            rows.push_back({wkt, {QStringLiteral("p%1").arg(r * 60 + c)}});
        }
    }
    return rows;
}

std::vector<long long> idsOf(host::FeatureCursor& cursor) {
    std::vector<long long> ids;
    while (auto f = cursor.nextFeature()) {
        ids.push_back(f->id());
    }
    return ids;
}

}  // namespace

TEST(SearchAhead, GivesWhatSearchesInTurnGivePageForPage) {
    QgsProject project;
    project.addMapLayer(memoryLayer("pages", "Polygon", {"page:string"}, pages()).release());
    QgsVectorLayer* streetLayer =
        memoryLayer("streets", "LineString", {"name:string"}, streets()).release();
    project.addMapLayer(streetLayer);
    qgishost::QgisMapDocument document(project);
    auto map = document.focusMap();
    const std::unique_ptr<host::Layer> pageLayer = map::lastFeatureLayerNamed(*map, "pages");
    std::shared_ptr<host::FeatureClass> searched =
        map::lastFeatureLayerNamed(*map, "streets")->asFeatureLayer()->featureClass();
    const host::SpatialFilter filter{
        nullptr, host::relation::kIntersects, searched->shapeFieldName(), {0}};

    // Searches, then searches with the streets changed part way, then
    // update cursors in an edit.
    for (const int round : {0, 1, 2}) {
        const bool changed = round == 1, update = round == 2;
        std::unique_ptr<host::EditTransaction> edit =
            update ? searched->beginTransaction() : nullptr;
        std::unique_ptr<host::SearchWalk> walk =
            searched->searchEach(pageLayer->asFeatureLayer()->search(), filter, update);
        auto* ahead = dynamic_cast<qgishost::SearchAhead*>(walk.get());
        ASSERT_TRUE(ahead);
        int walked = 0, met = 0;
        while (auto page = walk->nextFeature()) {
            std::shared_ptr<const host::Shape> shape = page->shape();
            if (shape && !shape->isUsable()) {
                continue;  // as the index skips it
            }
            if (changed && walked == 1800) {
                // The streets change: every later search reads them anew.
                QgsFeature added(streetLayer->fields());
                added.setAttributes(QgsAttributes() << QStringLiteral("new"));
                added.setGeometry(QgsGeometry::fromWkt(QStringLiteral("LINESTRING(0 0, 100 100)")));
                ASSERT_TRUE(streetLayer->startEditing());
                ASSERT_TRUE(streetLayer->addFeature(added));
                ASSERT_TRUE(streetLayer->commitChanges());
            }
            const std::unique_ptr<host::FeatureCursor> related = walk->related(shape);
            std::vector<long long> byWalk;
            while (auto street = related->nextFeature()) {
                byWalk.push_back(street->id());
                if (update) {
                    street->putValue(0, QStringLiteral("written"));
                    related->updateFeature(*street);  // the cursor's own feature
                }
            }
            host::SpatialFilter inTurn = filter;
            inTurn.geometry = shape;
            ASSERT_EQ(byWalk, idsOf(update ? *searched->update(inTurn) : *searched->search(inTurn)))
                << page->value(0).toString().toStdString();
            met += static_cast<int>(byWalk.size());
            if (++walked == 1) {
                // The reader searches only while the walk is behind it: a
                // pause after the first search (which starts them) puts the
                // walk behind however busy the machine is.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
        }
        EXPECT_EQ(walked, 3600);
        EXPECT_GT(met, 6000);
        // The reader made searches (how many depends on how far behind the
        // walk fell), never those of the triangles.
        EXPECT_GT(ahead->searchedAhead(), 0u);
        EXPECT_LT(ahead->searchedAhead(), 3600u - 3600u / 97);
    }
}

TEST(SearchAhead, TheReaderHelpsEachFeatureOnceBeforeItIsTakenOrNever) {
    constexpr int kFeatures = 5000;
    std::vector<testmaps::Row> rows;
    for (int i = 0; i < kFeatures; ++i) {
        rows.push_back({QStringLiteral("POINT(%1 0)").arg(i), {i}});
    }
    auto points = memoryLayer("points", "Point", {"n:integer"}, rows);
    std::vector<std::atomic<int>> helped(kFeatures);
    std::atomic<int> wrongFeature{0};
    qgishost::FeatureReadAhead ahead(points->getFeatures(), points->name());
    ahead.setHelper([&](const QgsFeature& f, uint64_t number) {
        if (number >= kFeatures || f.attribute(0).toInt() != static_cast<int>(number)) {
            ++wrongFeature;
            return;
        }
        helped[number].fetch_add(1);
    });
    QgsFeature f;
    std::vector<bool> helpedWhenTaken(kFeatures);
    int taken = 0;
    while (ahead.nextFeature(f)) {
        ASSERT_EQ(f.attribute(0).toInt(), taken);
        ASSERT_EQ(ahead.lastNumber(), static_cast<uint64_t>(taken));
        helpedWhenTaken[taken] = ahead.lastHelped();
        if (ahead.lastHelped()) {
            ASSERT_EQ(helped[taken].load(), 1) << taken;  // done before it was handed over
        }
        // Behind the reader, as a walk that searches is.
        std::this_thread::sleep_for(std::chrono::microseconds(taken % 8 == 0 ? 50 : 0));
        ++taken;
    }
    EXPECT_EQ(taken, kFeatures);
    EXPECT_EQ(wrongFeature.load(), 0);
    int helpedCount = 0;
    for (int i = 0; i < kFeatures; ++i) {
        // A feature taken without help was never helped afterwards.
        EXPECT_EQ(helped[i].load(), helpedWhenTaken[i] ? 1 : 0) << i;
        helpedCount += helpedWhenTaken[i];
    }
    EXPECT_GT(helpedCount, 0);
}
