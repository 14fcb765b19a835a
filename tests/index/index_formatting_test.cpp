// Result lines and their order, table rows, and layout column splits.
#include "index/index_formatting.h"

#include <gtest/gtest.h>

#include "tests/testing/qt_printers.h"

using namespace bramlotte::index;

namespace {

IndexMap mapOf(const std::vector<std::pair<QString, QStringList>>& entries,
               const QString& separator = ",") {
    IndexMap map(separator);
    for (const auto& [key, items] : entries) {
        for (const QString& item : items) {
            map.addItem(key, " " + item);
        }
    }
    return map;
}

ResultList listOf(int lines) {
    QStringList l;
    for (int i = 0; i < lines; ++i) {
        l << QStringLiteral("Street %1").arg(i, 2, 10, QLatin1Char('0'));
    }
    ResultList list;
    list.add(l);
    return list;
}

QList<int> lineCounts(const QStringList& columns) {
    QList<int> counts;
    for (const QString& c : columns) {
        counts << c.count("\r\n");
    }
    return counts;
}

}  // namespace

TEST(IndexFormatting, ResultListSortsWithoutCaseKeepingTiesInOrder) {
    const IndexMap map = mapOf({{"Main St", {"A1", "B2"}},
                                {"oak ave", {"C3"}},
                                {"Elm St", {"B2"}},
                                {"Oak Ave", {"C3"}},
                                {"Émile St", {"D4"}},
                                {"zoo Rd", {"A1"}}});
    ResultList list;
    FillResultList(map, "...", list);
    EXPECT_EQ(list.lines(), (QStringList{"Elm St... B2", "Émile St... D4", "Main St... A1, B2",
                                         "oak ave... C3", "Oak Ave... C3", "zoo Rd... A1"}));
    EXPECT_EQ(ResultLines(map, "").at(0), "Main St A1, B2");
    list.clear();
    FillResultList(IndexMap(), "...", list);
    EXPECT_EQ(list.count(), 0);
}

TEST(IndexFormatting, NoLineLimitAndALongMapsLinesInMapOrder) {
    IndexMap map;
    for (int i = 0; i < 40000; ++i) {
        map.add(QString::number(i), " A1");
    }
    ResultList list;
    FillResultList(map, "...", list);
    EXPECT_EQ(list.count(), 40000);

    // A long map's lines are made in two halves at once: every line, each
    // key's own, in map order, for an odd count of keys of various entries.
    IndexMap pages;
    for (int i = 0; i < 40001; ++i) {
        const QString key = QStringLiteral("Street %1").arg(40001 - i);
        for (int page = 0; page <= i % 7; ++page) {
            pages.addItem(key, QStringLiteral(" P%1").arg(i + page));
        }
    }
    const QStringList lines = ResultLines(pages, "... ");
    ASSERT_EQ(lines.size(), 40001);
    for (int i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines.at(i), pages.key(i) + "... " + pages.entryAt(i)) << i;
    }
}

TEST(IndexFormatting, TableRowsInMapOrderFromItems) {
    const IndexMap map = mapOf({{"Main St", {"A1", "B2"}}, {"Elm St", {"C3"}}});
    EXPECT_EQ(TableRows(map, ","), (QStringList{"Main St,A1,B2", "Elm St,C3"}));
    EXPECT_EQ(TableRows(map, "\t"), (QStringList{"Main St\tA1\tB2", "Elm St\tC3"}));
    EXPECT_TRUE(TableRows(IndexMap(), ",").isEmpty());

    // Values with the separator and a space, the delimiter, quotes, breaks.
    const IndexMap odd = mapOf({{"Smith, J", {"A1", "Hill, North"}},
                                {"Quote \"Q\"", {"B\tC"}},
                                {"Two\r\nlines", {"x\ny"}}});
    EXPECT_EQ(TableRows(odd, ","),
              (QStringList{"\"Smith, J\",A1,\"Hill, North\"", "\"Quote \"\"Q\"\"\",B\tC",
                           "\"Two\r\nlines\",\"x\ny\""}));
    EXPECT_EQ(TableRows(odd, "\t").at(0), "Smith, J\tA1\tHill, North");
    EXPECT_EQ(TableRows(odd, "\t").at(1), "\"Quote \"\"Q\"\"\"\t\"B\tC\"");

    // An empty item separator gives the same row as the plain one.
    const IndexMap bare = mapOf({{"Main St", {"A1", "B2"}}}, "");
    EXPECT_EQ(bare.get("Main St"), " A1 B2");
    EXPECT_EQ(TableRows(bare, ","), (QStringList{"Main St,A1,B2"}));
}

TEST(IndexFormatting, ColumnSplits) {
    EXPECT_EQ(lineCounts(ColumnTexts(listOf(10), 3)), (QList<int>{4, 4, 2}));
    EXPECT_EQ(lineCounts(ColumnTexts(listOf(10), 4)), (QList<int>{3, 3, 3, 1}));
    EXPECT_EQ(lineCounts(ColumnTexts(listOf(2), 4)), (QList<int>{1, 1, 0, 0}));
    EXPECT_EQ(lineCounts(ColumnTexts(listOf(9), 2)), (QList<int>{5, 4}));
    EXPECT_EQ(lineCounts(ColumnTexts(listOf(6), 1)), (QList<int>{6}));
    EXPECT_EQ(ColumnTexts(listOf(0), 3), (QStringList{"", "", ""}));
    const QStringList two = ColumnTexts(listOf(3), 2);
    EXPECT_EQ(two.at(0), "\r\nStreet 00\r\nStreet 01");
    EXPECT_EQ(two.at(1), "\r\nStreet 02");
}

TEST(IndexMap, AnEntryOfManyItemsHoldsEachOnceInOrder) {
    IndexMap map;
    QStringList expected;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 1000; ++i) {
            const QString item = QStringLiteral(" P%1").arg(i);
            // Later rounds offer the same items in other case: all refused.
            EXPECT_EQ(map.addItem("High St", round == 1 ? item.toLower() : item), round == 0);
            if (round == 0) {
                expected << item;
            }
        }
    }
    EXPECT_EQ(map.items("High St"), expected);
    EXPECT_TRUE(map.addItem("High St", " Q1"));

    // The same items in falling order (as the pages of a walk do not come),
    // offered twice.
    for (int round = 0; round < 2; ++round) {
        for (int i = 999; i >= 0; i -= 3) {
            EXPECT_EQ(map.addItem("Low St", QStringLiteral(" p%1").arg(i)), round == 0) << i;
        }
    }
    EXPECT_TRUE(map.addItem("Low St", " P1"));
    EXPECT_FALSE(map.addItem("Low St", " p1"));
    EXPECT_EQ(map.items("Low St").size(), 335);
}

TEST(IndexMap, ExactKeysInInsertionOrderAndSetReplacesAnEntry) {
    IndexMap map(";");
    map.add("Main St", " A1");
    map.add("main st", " B2");
    map.add("Main St", " C3");  // an existing key keeps its entry
    EXPECT_EQ(map.count(), 2);
    EXPECT_TRUE(map.exists("main st"));
    EXPECT_FALSE(map.exists("Main St "));
    EXPECT_EQ(map.get("Main St"), " A1");
    EXPECT_EQ(map.get("Nowhere"), "");
    map.set("Main St", {" D4", " E5"});
    map.set("Elm St", {" F6"});
    EXPECT_EQ(map.get("Main St"), " D4; E5");
    EXPECT_EQ(map.key(2), "Elm St");
    // The duplicate test follows the new items.
    EXPECT_FALSE(map.addItem("Main St", " d4"));
    EXPECT_TRUE(map.addItem("Main St", " A1"));
    EXPECT_EQ(map.items("Main St"), (QStringList{" D4", " E5", " A1"}));

    // An item offered again right away is held once; after the entry is
    // replaced it counts afresh. Items that differ only in case share the
    // duplicate test, and each entry keeps the form it met first.
    const IndexMap::Item page = map.item(" G7");
    EXPECT_EQ(map.item(" g7").folded, page.folded);
    EXPECT_NE(map.item(" g7").text, page.text);
    int position = -1;
    EXPECT_TRUE(map.addItem("Elm St", page, &position));
    EXPECT_EQ(position, 2);
    EXPECT_FALSE(map.addItemAt(position, page));
    EXPECT_FALSE(map.addItemAt(position, map.item(" g7")));
    map.set("Elm St", {" F6"});
    EXPECT_TRUE(map.addItemAt(position, map.item(" g7")));
    EXPECT_FALSE(map.addItem("Elm St", page));
    EXPECT_EQ(map.get("Elm St"), " F6; g7");
    EXPECT_TRUE(map.addItem("Oak St", page));
    EXPECT_EQ(map.itemsAt(3), (QStringList{" G7"}));
}
