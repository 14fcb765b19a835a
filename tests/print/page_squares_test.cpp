// Squares on the pages: where they stand, what they are called, in which
// order they come, and which divisions are refused.
#include "print/page_squares.h"

#include "print/print_error.h"
#include "tests/testing/qt_printers.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace bramlotte::print;

namespace {

GridCell pageAt(const MapRect& rect, const QString& page, int pageNo) {
    GridCell cell;
    cell.rect = rect;
    cell.page = page;
    cell.pageNo = pageNo;
    return cell;
}

QStringList refs(const std::vector<GridSquare>& squares) {
    QStringList list;
    for (const GridSquare& s : squares) {
        list.append(s.ref);
    }
    return list;
}

double area(const MapRect& r) {
    return (r.xMax - r.xMin) * (r.yMax - r.yMin);
}

}  // namespace

TEST(PageSquares, DivisionsAreColumnsByRowsInPlainDigits) {
    const SquareDivision d = ParseSquareDivision("4x5");
    EXPECT_EQ(d.columns, 4);
    EXPECT_EQ(d.rows, 5);
    EXPECT_EQ(ParseSquareDivision("30X2").columns, 30);
    EXPECT_EQ(ParseSquareDivision("1x1000").rows, 1000);
    for (const char* bad : {"4x", "x5", "0x3", "3x0", "ax2", "4x5x", "4x5 ", " 4x5", "4 x 5",
                            "-4x5", "+4x5", "4*5", "45", "", "1001x1", "2x99999999999999999999",
                            "4.5x2", "\xef\xbc\x94x5" /* a fullwidth 4 */}) {
        try {
            ParseSquareDivision(QString::fromUtf8(bad));
            ADD_FAILURE() << "\"" << bad << "\" was taken";
        } catch (const PrintError& e) {
            EXPECT_TRUE(e.message().contains("4x5")) << e.what();
        }
    }
}

TEST(PageSquares, SquaresTileTheirPageRowByRowFromTheNorth) {
    // A page whose sides are not multiples of its squares in binary.
    const MapRect rect{1000.1, 2000.3, 3100.7, 4970.9};
    const auto squares = PageSquares(pageAt(rect, "C12", 12), {4, 5});
    ASSERT_EQ(squares.size(), 20u);
    EXPECT_EQ(squares[0].square, "A1");
    EXPECT_EQ(squares[0].ref, "12 A1");
    EXPECT_EQ(squares[3].square, "D1");
    EXPECT_EQ(squares[4].square, "A2");
    EXPECT_EQ(squares[19].ref, "12 D5");
    double sum = 0.0;
    for (size_t i = 0; i < squares.size(); ++i) {
        const GridSquare& s = squares[i];
        const size_t row = i / 4, column = i % 4;
        EXPECT_EQ(s.page, "C12");
        EXPECT_EQ(s.pageNo, 12);
        EXPECT_EQ(s.ref, "12 " + s.square);
        EXPECT_NEAR(s.rect.xMax - s.rect.xMin, (rect.xMax - rect.xMin) / 4, 1e-9);
        EXPECT_NEAR(s.rect.yMax - s.rect.yMin, (rect.yMax - rect.yMin) / 5, 1e-9);
        // Edges shared exactly with the neighbours, the outer ones the page's.
        EXPECT_EQ(s.rect.xMin, column == 0 ? rect.xMin : squares[i - 1].rect.xMax);
        EXPECT_EQ(s.rect.yMax, row == 0 ? rect.yMax : squares[i - 4].rect.yMin);
        if (column == 3) {
            EXPECT_EQ(s.rect.xMax, rect.xMax);
        }
        if (row == 4) {
            EXPECT_EQ(s.rect.yMin, rect.yMin);
        }
        sum += area(s.rect);
    }
    EXPECT_NEAR(sum, area(rect), 1e-6);
    // The first row is the northernmost, the first column the westernmost.
    EXPECT_GT(squares[0].rect.yMin, squares[4].rect.yMin);
    EXPECT_LT(squares[0].rect.xMin, squares[1].rect.xMin);
}

TEST(PageSquares, ColumnsPastZContinueWithTwoLetters) {
    const auto squares = PageSquares(pageAt({0, 0, 28, 1}, "A1", 3), {28, 1});
    ASSERT_EQ(squares.size(), 28u);
    EXPECT_EQ(squares[25].square, "Z1");
    EXPECT_EQ(squares[26].square, "AA1");
    EXPECT_EQ(squares[27].ref, "3 AB1");
    EXPECT_EQ(squares[27].rect.xMin, 27.0);
    EXPECT_EQ(SquareName(53, 10), "BA10");
}

TEST(PageSquares, EveryPagesSquaresComeByPageNumber) {
    // Pages given out of order still give their squares by PAGE_NO.
    const std::vector<GridCell> pages{pageAt({10, 0, 20, 10}, "A2", 2),
                                      pageAt({0, 0, 10, 10}, "A1", 1)};
    EXPECT_EQ(refs(GridSquares(pages, {2, 2})),
              QStringList({"1 A1", "1 B1", "1 A2", "1 B2", "2 A1", "2 B1", "2 A2", "2 B2"}));
    EXPECT_TRUE(GridSquares({}, {3, 3}).empty());

    // Too many squares is refused before any is made.
    EXPECT_EQ(GridSquares(pages, {5, 10}, 100).size(), 100u);
    EXPECT_THROW(GridSquares(pages, {5, 10}, 99), PrintError);
    EXPECT_THROW(GridSquares(std::vector<GridCell>(1001, pages[0]), {1000, 1000}), PrintError);
    EXPECT_THROW(GridSquares(pages, {0, 3}), PrintError);
}
