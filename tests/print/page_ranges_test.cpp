// Runs of pages that follow one another collapse to ranges; nothing else
// changes.
#include "print/page_ranges.h"

#include "tests/testing/qt_printers.h"

#include <gtest/gtest.h>

using bramlotte::print::IsSquareReference;
using bramlotte::print::PageRanges;
using bramlotte::print::PagesFollow;
using bramlotte::print::RangedEntryText;

namespace {

QStringList split(const char* entry) {
    return QString::fromUtf8(entry).split(QStringLiteral(", "));
}

QString ranged(const char* entry) {
    return PageRanges(split(entry)).join(QStringLiteral(", "));
}

}  // namespace

TEST(PageRanges, RunsOfThreeOrMoreCollapseInTheOrderGiven) {
    EXPECT_EQ(ranged("A1, A2, A3, A5"), "A1-A3, A5");
    EXPECT_EQ(ranged("12, 13, 14"), "12-14");
    EXPECT_EQ(ranged("A1, A2"), "A1, A2");
    EXPECT_EQ(ranged("A9, A10, A11"), "A9-A11");
    EXPECT_EQ(ranged("A1, B2, B3, B4"), "A1, B2-B4");
    EXPECT_EQ(ranged("A1, A2, A3, A4, B1, B2, B3, C7"), "A1-A4, B1-B3, C7");
    // Not reordered: a descending or shuffled list keeps its pages apart.
    EXPECT_EQ(ranged("A3, A2, A1"), "A3, A2, A1");
    EXPECT_EQ(ranged("A1, A3, A2, A4"), "A1, A3, A2, A4");
    // A run broken by one other page starts again after it.
    EXPECT_EQ(ranged("1, 2, X, 3, 4, 5"), "1, 2, X, 3-5");
    EXPECT_EQ(ranged("A1, A2, A3, A3"), "A1-A3, A3");
}

TEST(PageRanges, OnlyTheTrailingNumberMayDifferAndItMustBeAPlainWholeNumber) {
    EXPECT_EQ(ranged("A1, a2, A3"), "A1, a2, A3");  // letters compare case-sensitively
    EXPECT_EQ(ranged("1A, 2A, 3A"), "1A, 2A, 3A");
    EXPECT_EQ(ranged("Page 7, Page 8, Page 9"), "Page 7-Page 9");
    EXPECT_EQ(ranged("A, B, C"), "A, B, C");
    // A sign makes a number text, not a count of pages.
    EXPECT_EQ(ranged("-1, -2, -3"), "-1, -2, -3");
    EXPECT_EQ(ranged("-3, -2, -1"), "-3, -2, -1");
    EXPECT_EQ(ranged("+1, +2, +3"), "+1, +2, +3");
    // Only ASCII digits count: fullwidth ones are letters here.
    EXPECT_EQ(
        PageRanges({QStringLiteral("\uFF11"), QStringLiteral("\uFF12"), QStringLiteral("\uFF13")})
            .size(),
        3);
}

TEST(PageRanges, NumbersBeyondSixtyFourBitsStayAsWritten) {
    EXPECT_EQ(ranged("18446744073709551613, 18446744073709551614, 18446744073709551615"),
              "18446744073709551613-18446744073709551615");
    EXPECT_FALSE(PagesFollow("18446744073709551615", "18446744073709551616"));
    EXPECT_EQ(ranged("A99999999999999999999, A100000000000000000000, A100000000000000000001"),
              "A99999999999999999999, A100000000000000000000, A100000000000000000001");
    // Leading zeros do not make a small number large.
    EXPECT_TRUE(PagesFollow("A0000000000000000000000007", "A0000000000000000000000008"));
}

TEST(PageRanges, CountingOnFromZeroPaddedNumbersKeepsTheirWidth) {
    EXPECT_EQ(ranged("A09, A10, A11"), "A09-A11");
    EXPECT_EQ(ranged("A098, A099, A100"), "A098-A100");
    EXPECT_EQ(ranged("A98, A99, A100"), "A98-A100");
    EXPECT_EQ(ranged("00, 01, 02"), "00-02");
    EXPECT_TRUE(PagesFollow("0", "1"));
    EXPECT_TRUE(PagesFollow("A099", "A100"));
    EXPECT_TRUE(PagesFollow("A99", "A100"));
    EXPECT_FALSE(PagesFollow("A9", "A010"));
    EXPECT_FALSE(PagesFollow("A09", "A010"));
    EXPECT_FALSE(PagesFollow("A9", "A09"));
    EXPECT_FALSE(PagesFollow("A10", "A011"));
    EXPECT_FALSE(PagesFollow("A0099", "A100"));
}

TEST(PageRanges, SquaresAlongARowCollapseToTheLastSquareWithoutItsPage) {
    EXPECT_EQ(ranged("12 B3, 12 C3, 12 D3"), "12 B3-D3");
    EXPECT_EQ(ranged("12 B3, 12 B4, 13 A1"), "12 B3, 12 B4, 13 A1");
    EXPECT_EQ(ranged("7 A2, 7 B2, 7 C2, 7 D2, 8 B1, 8 C1, 8 A2, 8 B2"),
              "7 A2-D2, 8 B1, 8 C1, 8 A2, 8 B2");
    EXPECT_EQ(ranged("1 A5, 1 B5, 1 C5, 2 C4, 2 A5, 2 B5, 2 C5, 2 D5"), "1 A5-C5, 2 C4, 2 A5-D5");
    // Two squares are no range.
    EXPECT_EQ(ranged("12 B3, 12 C3"), "12 B3, 12 C3");
    // Columns past Z: Y, Z, AA, AB; AZ, BA, BB; ZZ, AAA.
    EXPECT_EQ(ranged("3 Y1, 3 Z1, 3 AA1, 3 AB1"), "3 Y1-AB1");
    EXPECT_EQ(ranged("3 AZ10, 3 BA10, 3 BB10"), "3 AZ10-BB10");
    EXPECT_TRUE(PagesFollow("3 ZZ2", "3 AAA2"));
    EXPECT_FALSE(PagesFollow("3 Z2", "3 AAA2"));
}

TEST(PageRanges, SquaresDownAColumnOrAcrossPagesStayApart) {
    // Down a column: the plain rule would read "12 B" and 3, 4, 5.
    EXPECT_EQ(ranged("12 B3, 12 B4, 12 B5"), "12 B3, 12 B4, 12 B5");
    // Another page or another row between breaks the run.
    EXPECT_EQ(ranged("12 C3, 13 D3, 13 E3"), "12 C3, 13 D3, 13 E3");
    EXPECT_EQ(ranged("12 B3, 12 C4, 12 D3"), "12 B3, 12 C4, 12 D3");
    EXPECT_EQ(ranged("12 B3, 12 C3, 12 D03"), "12 B3, 12 C3, 12 D03");
    EXPECT_EQ(ranged("12 D3, 12 C3, 12 B3"), "12 D3, 12 C3, 12 B3");
    // A square beside pages that are not squares follows none of them.
    EXPECT_EQ(ranged("12 B3, 12 C3, 12 D3, A4, A5, A6"), "12 B3-D3, A4-A6");
    EXPECT_FALSE(PagesFollow("12 A3", "12 A4"));
    EXPECT_FALSE(PagesFollow("12 A3", "12 A"));
    EXPECT_FALSE(PagesFollow("A2", "12 A3"));
}

TEST(PageRanges, OnlyTheGridsFormIsASquareReference) {
    for (const char* square : {"12 B3", "1 A1", "007 AB12", "12 B03"}) {
        EXPECT_TRUE(IsSquareReference(square)) << square;
    }
    for (const char* other : {"B3", "12B3", "12  B3", " 12 B3", "12 B3 ", "12 b3", "12 B", "12 3",
                              "x12 B3", "12 B3a", "12-B3", "Page 7", "-1 A2"}) {
        EXPECT_FALSE(IsSquareReference(other)) << other;
    }
    // What is no square reference keeps the numbered pages' rule.
    EXPECT_EQ(ranged("12 b3, 12 b4, 12 b5"), "12 b3-12 b5");
    EXPECT_EQ(ranged("Page 12 B3, Page 12 B4, Page 12 B5"), "Page 12 B3-Page 12 B5");
    EXPECT_EQ(ranged("12B3, 12B4, 12B5"), "12B3-12B5");
}

TEST(PageRanges, EntryTextIsWrittenAsTheIndexWritesItems) {
    EXPECT_EQ(RangedEntryText(split("A1, A2, A3, A5"), ","), " A1-A3, A5");
    EXPECT_EQ(RangedEntryText(split("B2, B3"), ";"), " B2; B3");
    EXPECT_EQ(RangedEntryText({}, ","), "");
    EXPECT_EQ(RangedEntryText(split("12 B3, 12 C3, 12 D3, 12 B4"), ","), " 12 B3-D3, 12 B4");
}

TEST(PageRanges, AVeryLongRunIsOneRange) {
    QStringList pages;
    for (int i = 1; i <= 200000; ++i) {
        pages.append(QStringLiteral("P%1").arg(i));
    }
    pages.append(QStringLiteral("Q"));
    EXPECT_EQ(PageRanges(pages), QStringList({"P1-P200000", "Q"}));
}
