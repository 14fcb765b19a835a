// The relate engine on real layers: what each Layer #1 feature contributes
// to each key, duplicates, blanks, the relationship codes, failures, and
// the entries handed to the field writer.
#include "index/relate.h"
#include "index/feature_entries.h"
#include "map/map_walk.h"
#include "map/qgis/desktop/qgis_document.h"
#include "support/desktop/terminal_progress.h"
#include "tests/testing/test_maps.h"

#include <gtest/gtest.h>

using namespace bramlotte;
using bramlotte::testmaps::memoryLayer;

namespace {

const QString kWest = "POLYGON((0 0,10 0,10 10,0 10,0 0))";
const QString kEast = "POLYGON((10 0,20 0,20 10,10 10,10 0))";

// A project with a page layer and a street layer, and the host's view of it.
struct Atlas {
    explicit Atlas(std::vector<testmaps::Row> pages, std::vector<testmaps::Row> streets)
        : document(project) {
        project.addMapLayer(
            memoryLayer("pages", "Polygon", {"PAGE:string", "N:integer"}, pages).release());
        project.addMapLayer(
            memoryLayer("streets", "LineString", {"name:string"}, streets).release());
        auto map = document.focusMap();
        pageLayer = map::lastFeatureLayerNamed(*map, "pages");
        streetLayer = map::lastFeatureLayerNamed(*map, "streets");
    }
    index::RelateInputs inputs(int32_t code = host::relation::kIntersects,
                               const QString& separator = ",") {
        index::RelateInputs in;
        in.layer1 = pageLayer->asFeatureLayer();
        in.field1 = 0;
        in.layer2 = streetLayer->asFeatureLayer();
        in.field2 = 0;
        in.relationship = code;
        in.itemSeparator = separator;
        return in;
    }
    QgsProject project;
    qgishost::QgisMapDocument document;
    std::unique_ptr<host::Layer> pageLayer, streetLayer;
};

// "key=entry" for every key in map order.
QStringList entries(const index::IndexMap& map) {
    QStringList out;
    for (int i = 0; i < map.count(); ++i) {
        out << map.key(i) + "=" + map.entryAt(i);
    }
    return out;
}

class RecordingWriter : public index::FieldWriter {
  public:
    void write(host::Feature& feature, host::FeatureCursor&, const QString& entry) override {
        writes << QStringLiteral("%1:%2").arg(feature.value(0).toString(), entry);
    }
    QStringList writes;
};

}  // namespace

TEST(Relate, ItemsInWalkOrderOncePerKeyWithKeysCaseSensitive) {
    Atlas atlas({{kWest, {"A1"}}, {kEast, {"B2"}}},
                {{"LINESTRING(5 5,15 5)", {"Main St"}},  // both pages
                 {"LINESTRING(1 1,2 2)", {"Main St"}},   // A1 again, through another segment
                 {"LINESTRING(12 1,13 2)", {"Oak Ave"}},
                 {"LINESTRING(3 1,4 2)", {"OAK AVE"}},
                 {"LINESTRING(6 1,7 2)", {"Main St "}}});
    support::TerminalProgress progress(nullptr);
    progress.setPosition(1);
    const index::IndexMap map = index::Relate(atlas.inputs(), &progress);
    EXPECT_EQ(entries(map),
              (QStringList{"Main St= A1, B2", "OAK AVE= A1", "Main St = A1", "Oak Ave= B2"}));
    EXPECT_EQ(map.items("Main St"), (QStringList{" A1", " B2"}));
    EXPECT_EQ(progress.position(), 3);  // stepped once per page

    const index::IndexMap bare =
        index::Relate(atlas.inputs(host::relation::kIntersects, ""), nullptr);
    EXPECT_EQ(bare.get("Main St"), " A1 B2");
}

TEST(Relate, DuplicatesAreWholeItemsComparedWithoutCase) {
    // Five pages over one street, with values that are substrings of others.
    Atlas atlas({{kWest, {"12"}},
                 {kWest, {"1"}},
                 {kWest, {"Bay"}},
                 {kWest, {"B"}},
                 {kWest, {"bay"}},
                 {kWest, {"A1"}},
                 {kWest, {"a1"}}},
                {{"LINESTRING(1 1,2 2)", {"Main St"}}});
    const index::IndexMap map = index::Relate(atlas.inputs(), nullptr);
    EXPECT_EQ(map.get("Main St"), " 12, 1, Bay, B, A1");
}

TEST(Relate, BlankValuesContributeNothing) {
    Atlas atlas({{kWest, {"A1"}}, {kEast, {QVariant()}}, {kEast, {"   "}}, {kEast, {"\t"}}},
                {{"LINESTRING(1 1,2 2)", {QVariant()}},
                 {"LINESTRING(1 1,2 2)", {"  "}},
                 {"LINESTRING(1 1,2 2)", {""}},
                 {"LINESTRING(11 1,12 2)", {"East St"}}});
    const index::IndexMap map = index::Relate(atlas.inputs(), nullptr);
    // A tab is no space: that page value counts.
    EXPECT_EQ(entries(map), (QStringList{"East St= \t"}));
}

TEST(Relate, NoPagesGiveAnEmptyIndexAndOneLayerCanBeBoth) {
    Atlas empty({}, {{"LINESTRING(1 1,2 2)", {"Main St"}}});
    EXPECT_EQ(index::Relate(empty.inputs(), nullptr).count(), 0);

    Atlas same({{kWest, {"A1"}}, {kEast, {"B2"}}}, {});
    index::RelateInputs in = same.inputs();
    in.layer2 = in.layer1;
    EXPECT_EQ(entries(index::Relate(in, nullptr)), (QStringList{"A1= A1, B2", "B2= A1, B2"}));
}

TEST(Relate, RelationshipCodesReachTheHostAndRefusalsAreRelateFailures) {
    EXPECT_EQ(index::relationshipCode("INTERSECT"), 1);
    EXPECT_EQ(index::relationshipCode("ENVELOPE INTERSECTS"), 2);
    EXPECT_EQ(index::relationshipCode("TOUCH"), 4);
    EXPECT_EQ(index::relationshipCode("OVERLAP"), 5);
    EXPECT_EQ(index::relationshipCode("CROSS"), 6);
    EXPECT_EQ(index::relationshipCode("WHOLLY CONTAIN"), 7);
    EXPECT_EQ(index::relationshipCode("ARE WHOLLY CONTAINED BY"), 8);
    EXPECT_FALSE(index::relationshipCode("intersect"));
    EXPECT_FALSE(index::relationshipCode("INTERSECT "));

    // A diagonal street inside A1's box, off the page triangle: only the
    // envelope relationship finds it.
    Atlas atlas({{"POLYGON((0 0,10 0,0 10,0 0))", {"A1"}}},
                {{"LINESTRING(7 7,9 9)", {"Corner St"}}, {"LINESTRING(-5 5,20 5)", {"Long St"}}});
    EXPECT_EQ(entries(index::Relate(atlas.inputs(2), nullptr)),
              (QStringList{"Corner St= A1", "Long St= A1"}));
    EXPECT_EQ(entries(index::Relate(atlas.inputs(1), nullptr)), (QStringList{"Long St= A1"}));

    // Pages inside a district polygon: code 8 asks for districts containing the page.
    Atlas districts({{"POLYGON((1 1,2 1,2 2,1 2,1 1))", {"A1"}}}, {});
    districts.project.addMapLayer(
        memoryLayer("districts", "Polygon", {"name:string"},
                    {{"POLYGON((0 0,10 0,10 10,0 10,0 0))", {"Old Town"}},
                     {"POLYGON((1.5 1.5,3 1.5,3 3,1.5 3,1.5 1.5))", {"Harbour"}}})
            .release());
    auto layer = map::lastFeatureLayerNamed(*districts.document.focusMap(), "districts");
    ASSERT_TRUE(layer);
    index::RelateInputs in = districts.inputs(8);
    in.layer2 = layer->asFeatureLayer();
    EXPECT_EQ(entries(index::Relate(in, nullptr)), (QStringList{"Old Town= A1"}));
    in.relationship = 7;
    EXPECT_EQ(index::Relate(in, nullptr).count(), 0);
    in.relationship = 6;  // CROSS between polygons is undefined
    EXPECT_THROW(index::Relate(in, nullptr), index::RelateFailure);
}

TEST(Relate, TheFieldWriterGetsEachFeaturesOwnEntry) {
    Atlas atlas({{kWest, {"A1"}}, {kEast, {"B2"}}, {kEast, {QVariant()}}, {kWest, {"a1"}}},
                {{"LINESTRING(5 5,15 5)", {"Main St"}},
                 {"LINESTRING(1 1,2 2)", {"Main St"}},
                 {"LINESTRING(12 1,13 2)", {QVariant()}}});
    RecordingWriter writer;
    index::RelateInputs in = atlas.inputs();
    in.fieldWriter = &writer;
    auto edit = in.layer2->featureClass()->beginTransaction();
    const index::IndexMap map = index::Relate(in, nullptr);
    EXPECT_EQ(map.get("Main St"), " A1, B2");
    // The nameless street still gets its page; the nameless page writes nothing.
    const QStringList expected{"Main St: A1",     "Main St: A1",   // page A1
                               "Main St: A1, B2", ": B2",          // page B2
                               "Main St: A1, B2", "Main St: A1"};  // a1 again
    EXPECT_EQ(writer.writes, expected);

    // A build of the field alone skips the index: the same writes, no entries.
    in.gatherIndex = false;
    writer.writes.clear();
    EXPECT_EQ(index::Relate(in, nullptr).count(), 0);
    EXPECT_EQ(writer.writes, expected);
}

TEST(Relate, AFeatureMeetingManyPagesGetsEachOnce) {
    // Twelve pages in a row, the last two named like earlier ones in other case.
    std::vector<testmaps::Row> pages;
    for (int i = 0; i < 12; ++i) {
        const QString name =
            i < 10 ? QStringLiteral("p%1").arg(i) : QStringLiteral("P%1").arg(i - 9);
        pages.push_back(
            {QStringLiteral("POLYGON((%1 0,%2 0,%2 10,%1 10,%1 0))").arg(i * 10).arg(i * 10 + 10),
             {name}});
    }
    Atlas atlas(pages, {{"LINESTRING(5 5,115 5)", {"Long St"}}});
    RecordingWriter writer;
    index::RelateInputs in = atlas.inputs();
    in.fieldWriter = &writer;
    auto edit = in.layer2->featureClass()->beginTransaction();
    const index::IndexMap map = index::Relate(in, nullptr);
    const QString all = " p0, p1, p2, p3, p4, p5, p6, p7, p8, p9";
    EXPECT_EQ(map.get("Long St"), all);
    EXPECT_EQ(writer.writes.last(), "Long St:" + all);
}

// A feature known only by its id and position.
class Named : public host::Feature {
  public:
    Named(long long id, long long position) : id_(id), position_(position) {}
    long long id() const override { return id_; }
    long long position() const override { return position_; }
    std::shared_ptr<const host::Shape> shape() const override { return nullptr; }
    QVariant value(int) const override { return {}; }
    void putValue(int, const QString&) override {}

  private:
    long long id_, position_;
};

TEST(Relate, FeatureEntriesKeepEveryFeatureApartWhateverItsId) {
    index::FeatureEntries entries(3);  // positions 0..2 in a table, the rest hashed by id
    // OpenStreetMap-like ids with positions, then ids without: id 1 and the
    // feature at position 1 are different features.
    const std::vector<Named> features = {{417704456, 0}, {1LL << 62, 1},        {-7, 2},
                                         {1, -1},        {1000000000000LL, -1}, {5, 9}};
    for (const Named& f : features) {
        entries.of(f).add(QStringLiteral(" P%1").arg(f.id()), 0, ",");
        entries.of(f).add(QStringLiteral(" Q%1").arg(f.id()), 1, ",");
        entries.of(f).add(QStringLiteral(" again"), 0, ",");  // item 0 again: held
    }
    for (const Named& f : features) {
        EXPECT_EQ(entries.of(f).text(), QStringLiteral(" P%1, Q%1").arg(f.id())) << f.id();
    }
    EXPECT_TRUE(entries.of(Named(2, -1)).text().isNull());
}

TEST(Relate, AnEntrysItemSetHoldsWhatWasAddedThroughEveryForm) {
    // Inline, then a list (bisected while ascending, scanned while short),
    // then a hash: each step must keep the rest. The second order ascends
    // long enough to leave the short list behind before it turns back.
    std::vector<int> scattered, ascendingFirst;
    for (int step = 0; step < 40; ++step) {
        scattered.push_back((step * 37) % 101);
        ascendingFirst.push_back(step < 25 ? 4 * step : 4 * (step - 25) + 2);
    }
    for (const std::vector<int>& order : {scattered, ascendingFirst}) {
        index::ItemSet set;
        std::vector<int> added;
        for (const int item : order) {
            ASSERT_FALSE(set.contains(item)) << item;
            set.insert(item);
            added.push_back(item);
            for (int n = 0; n < 101; ++n) {
                const bool held = std::find(added.begin(), added.end(), n) != added.end();
                ASSERT_EQ(set.contains(n), held) << "after " << item << ": " << n;
            }
        }
    }
    index::ItemSet set;
    for (int item = 0; item < 10; ++item) {
        set.insert(item);
    }
    set.clear();
    EXPECT_FALSE(set.contains(0));
    // Emptied, it starts again from nothing (its highest number too).
    for (int item : {90, 3, 1, 2, 7, 5, 4, 8, 6, 9, 0}) {
        EXPECT_FALSE(set.contains(item)) << item;
        set.insert(item);
        EXPECT_TRUE(set.contains(item)) << item;
    }
    EXPECT_TRUE(set.contains(90) && !set.contains(91) && !set.contains(50));
}

TEST(Relate, AnEntrySetWithRepeatedItemsStillFindsEachOfThem) {
    // An entry set whole may hold an item twice: a repeat below the highest
    // leaves the list unsorted, and no item may then be missed.
    index::IndexMap map(",");
    const QStringList items = {" A1", " A5", " A9", " A1", " A1", " A1", " A1"};
    map.set("Key", items);
    for (const QString& item : QStringList{" A1", " A5", " A9"}) {
        EXPECT_FALSE(map.addItem("Key", item)) << item.toStdString();
    }
    EXPECT_TRUE(map.addItem("Key", " A7"));
    EXPECT_FALSE(map.addItem("Key", " a7"));  // the same item, without regard to case
}
