// The page grid: where pages stand, what they are called, what is refused.
#include "print/page_grid.h"

#include "print/print_error.h"
#include "tests/testing/qt_printers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace bramlotte::print;

namespace {

QStringList names(const std::vector<GridCell>& cells) {
    QStringList list;
    for (const GridCell& cell : cells) {
        list.append(cell.page);
    }
    return list;
}

bool operator==(const MapRect& a, const MapRect& b) {
    return a.xMin == b.xMin && a.yMin == b.yMin && a.xMax == b.xMax && a.yMax == b.yMax;
}

}  // namespace

TEST(PageGrid, RowsAreLetteredLikeSpreadsheetColumns) {
    EXPECT_EQ(RowLetters(1), "A");
    EXPECT_EQ(RowLetters(26), "Z");
    EXPECT_EQ(RowLetters(27), "AA");
    EXPECT_EQ(RowLetters(28), "AB");
    EXPECT_EQ(RowLetters(52), "AZ");
    EXPECT_EQ(RowLetters(53), "BA");
    EXPECT_EQ(RowLetters(702), "ZZ");
    EXPECT_EQ(RowLetters(703), "AAA");

    // 27 rows of 10: the 26th is Z, the 27th AA.
    const auto cells = PageGrid({0, 0, 20, 265}, SquarePages(10.0));
    ASSERT_EQ(cells.size(), 54u);
    EXPECT_EQ(cells[50].page, "Z1");
    EXPECT_EQ(cells[52].page, "AA1");
    EXPECT_EQ(cells[52].row, "AA");
    EXPECT_EQ(cells[53].column, 2);
    EXPECT_EQ(cells[53].pageNo, 54);
}

TEST(PageGrid, SquarePagesStartAtTheNorthWestCornerAndCoverTheExtent) {
    const auto cells = PageGrid({1000, 2000, 2000, 2650}, SquarePages(250.0));
    EXPECT_EQ(names(cells), QStringList({"A1", "A2", "A3", "A4", "B1", "B2", "B3", "B4", "C1", "C2",
                                         "C3", "C4"}));
    EXPECT_TRUE(cells.front().rect == (MapRect{1000, 2400, 1250, 2650}));
    EXPECT_TRUE(cells.back().rect == (MapRect{1750, 1900, 2000, 2150}));  // sticks out south
    EXPECT_EQ(cells[5].pageNo, 6);
    // An extent of whole pages gets no extra row or column, even when its
    // sizes are not exact in binary.
    EXPECT_EQ(PageGrid({0, 0, 1000, 500}, SquarePages(250.0)).size(), 8u);
    EXPECT_EQ(PageGrid({0, 0, 0.3, 0.1}, SquarePages(0.1)).size(), 3u);
    EXPECT_EQ(PageGrid({0, 0, 0.3000001, 0.1}, SquarePages(0.1)).size(), 4u);
}

TEST(PageGrid, PaperPagesAtAScaleStepByTheirSizeLessTheOverlap) {
    const PageFootprint a4 = PaperPages(Paper::A4, Orientation::Portrait, 10000);
    EXPECT_DOUBLE_EQ(a4.width, 2100.0);
    EXPECT_DOUBLE_EQ(a4.height, 2970.0);
    const PageFootprint letter = PaperPages(Paper::Letter, Orientation::Landscape, 5000, 10.0);
    EXPECT_DOUBLE_EQ(letter.width, 1397.0);
    EXPECT_DOUBLE_EQ(letter.height, 1079.5);
    EXPECT_DOUBLE_EQ(letter.overlap, 50.0);
    EXPECT_EQ(PaperSize(Paper::A3, Orientation::Portrait), QSizeF(297.0, 420.0));

    // 10 mm at 1:10 000 is 100 m shared: two A4 columns reach 4100 m.
    const PageFootprint shared = PaperPages(Paper::A4, Orientation::Portrait, 10000, 10.0);
    const auto two = PageGrid({0, 0, 4100, 100}, shared);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_DOUBLE_EQ(two[1].rect.xMin, 2000.0);
    EXPECT_DOUBLE_EQ(two[0].rect.xMax - two[1].rect.xMin, 100.0);
    EXPECT_EQ(PageGrid({0, 0, 4100.5, 100}, shared).size(), 3u);
    const auto rows = PageGrid({0, 0, 100, 5841}, shared);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_DOUBLE_EQ(rows[1].rect.yMax, 5841.0 - 2870.0);
}

TEST(PageGrid, PagesTurnedDownAreLeftOutAndNotNumbered) {
    // Only pages west of x = 500 or south of y = 250 are kept.
    const auto kept = PageGrid({0, 0, 1000, 1000}, SquarePages(250.0), [](const MapRect& page) {
        return page.xMax <= 500.0 || page.yMax <= 250.0;
    });
    EXPECT_EQ(names(kept),
              QStringList({"A1", "A2", "B1", "B2", "C1", "C2", "D1", "D2", "D3", "D4"}));
    for (size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i].pageNo, static_cast<int>(i) + 1);
    }
    EXPECT_TRUE(
        PageGrid({0, 0, 10, 10}, SquarePages(1.0), [](const MapRect&) { return false; }).empty());
}

TEST(PageGrid, RefusesWhatCannotMakeAGrid) {
    const MapRect extent{0, 0, 100, 100};
    EXPECT_THROW(SquarePages(0.0), PrintError);
    EXPECT_THROW(SquarePages(-5.0), PrintError);
    EXPECT_THROW(SquarePages(std::nan("")), PrintError);
    EXPECT_THROW(SquarePages(10.0, 10.0), PrintError);
    EXPECT_THROW(SquarePages(10.0, -1.0), PrintError);
    EXPECT_THROW(PaperPages(Paper::A4, Orientation::Portrait, 0.0), PrintError);
    EXPECT_THROW(PaperPages(Paper::A4, Orientation::Landscape, 1000.0, 210.0), PrintError);
    EXPECT_THROW(PageGrid(extent, PageFootprint{10.0, 0.0, 0.0}), PrintError);
    EXPECT_THROW(PageGrid({0, 0, -1, -1}, SquarePages(10.0)), PrintError);  // empty
    EXPECT_THROW(PageGrid({0, 5, 100, 5}, SquarePages(10.0)), PrintError);  // a line
    EXPECT_THROW(PageGrid({0, 0, std::numeric_limits<double>::infinity(), 1}, SquarePages(10.0)),
                 PrintError);

    // Too many pages is refused at once, whether or not they would be kept.
    int asked = 0;
    const auto count = [&](const MapRect&) { return ++asked, false; };
    try {
        PageGrid({0, 0, 1e6, 1e6}, SquarePages(1.0), count);
        ADD_FAILURE() << "a grid of 10^12 pages was made";
    } catch (const PrintError& e) {
        EXPECT_TRUE(e.message().contains("1000000")) << e.what();
    }
    EXPECT_THROW(PageGrid({0, 0, 1e300, 1e300}, SquarePages(1e-300)), PrintError);
    EXPECT_THROW(PageGrid(extent, SquarePages(10.0), {}, 99), PrintError);
    EXPECT_EQ(PageGrid(extent, SquarePages(10.0), {}, 100).size(), 100u);
    EXPECT_EQ(asked, 0);
}

namespace {

// "PAGE:N,E,S,W" for every page, 0 for no neighbour.
QStringList neighboursOf(const std::vector<GridCell>& cells) {
    QStringList list;
    for (const GridCell& c : cells) {
        const Neighbours& n = c.neighbours;
        list.append(QStringLiteral("%1:%2,%3,%4,%5")
                        .arg(c.page)
                        .arg(n.north)
                        .arg(n.east)
                        .arg(n.south)
                        .arg(n.west));
    }
    return list;
}

}  // namespace

TEST(PageGrid, NeighboursAreThePagesBesideByTheirNumbers) {
    // 3 rows of 3: 1 2 3 / 4 5 6 / 7 8 9.
    const auto full = PageGrid({0, 0, 30, 30}, SquarePages(10.0));
    EXPECT_EQ(neighboursOf(full),
              QStringList({"A1:0,2,4,0", "A2:0,3,5,1", "A3:0,0,6,2", "B1:1,5,7,0", "B2:2,6,8,4",
                           "B3:3,0,9,5", "C1:4,8,0,0", "C2:5,9,0,7", "C3:6,0,0,8"}));

    // Without the middle page and the north-east corner the rest are
    // renumbered, and no page names one that was left out.
    const auto kept = PageGrid({0, 0, 30, 30}, SquarePages(10.0), [](const MapRect& page) {
        const bool middle = page.xMin == 10.0 && page.yMin == 10.0;
        const bool northEast = page.xMin == 20.0 && page.yMin == 20.0;
        return !middle && !northEast;
    });
    EXPECT_EQ(neighboursOf(kept),
              QStringList({"A1:0,2,3,0", "A2:0,0,0,1", "B1:1,0,5,0", "B3:0,0,7,0", "C1:3,6,0,0",
                           "C2:0,7,0,5", "C3:4,0,0,6"}));
    // Each neighbour points back.
    for (const auto* cells : {&full, &kept}) {
        for (const GridCell& c : *cells) {
            const auto page = [&](int no) { return (*cells)[static_cast<size_t>(no - 1)]; };
            const Neighbours& n = c.neighbours;
            if (n.north) {
                EXPECT_EQ(page(n.north).neighbours.south, c.pageNo);
            }
            if (n.south) {
                EXPECT_EQ(page(n.south).neighbours.north, c.pageNo);
            }
            if (n.east) {
                EXPECT_EQ(page(n.east).neighbours.west, c.pageNo);
            }
            if (n.west) {
                EXPECT_EQ(page(n.west).neighbours.east, c.pageNo);
            }
        }
    }
}
