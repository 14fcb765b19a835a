// The index flowing into columns and pages, measured exactly: regular text
// 1 mm a character, bold 2 mm, lines 4 mm apart, 1 em = 2 mm.
#include "print/layout_flow.h"

#include "print/print_error.h"
#include "tests/testing/qt_printers.h"

#include <gtest/gtest.h>

#include <random>

using namespace bramlotte::print;

namespace {

TextMeasure exactMeasure() {
    return {[](const QString& text, bool bold) { return text.size() * (bold ? 2.0 : 1.0); }, 4.0,
            2.0};
}

// 100 x 60 mm, margins of 10: 80 x 40 mm printable, ten lines a column.
FlowPage smallPage(int columns, double gap = 10.0) {
    FlowPage page;
    page.paper = QSizeF(100.0, 60.0);
    page.margins = QMarginsF(10.0, 10.0, 10.0, 10.0);
    page.columns = columns;
    page.columnGap = gap;
    return page;
}

std::vector<FlowLine> entries(int count) {
    std::vector<FlowLine> lines;
    for (int i = 0; i < count; ++i) {
        lines.push_back({QStringLiteral("Street %1... A%1").arg(i), false});
    }
    return lines;
}

QString withoutSpaces(QString text) {
    return text.remove(QLatin1Char(' '));
}

// What every flow must be: each line's text once, in input order, in boxes
// inside the printable area that never overlap, each text line no wider than
// its place, and no heading last in its column.
void expectSoundFlow(const LayoutFlow& flow, const std::vector<FlowLine>& lines,
                     const FlowPage& page, const TextMeasure& measure) {
    const double e = 1e-9;
    const QRectF printable = QRectF(QPointF(0, 0), page.paper).marginsRemoved(page.margins);
    std::vector<QString> shown(lines.size());
    int lastLine = 0;
    for (size_t b = 0; b < flow.blocks.size(); ++b) {
        const PlacedBlock& block = flow.blocks[b];
        ASSERT_GE(block.line, lastLine);
        lastLine = block.line;
        shown[static_cast<size_t>(block.line)] += block.textLines.join(QString());
        EXPECT_EQ(block.bold, lines[static_cast<size_t>(block.line)].heading);
        EXPECT_LT(block.page, flow.pageCount);
        EXPECT_TRUE(printable.adjusted(-e, -e, e, e).contains(block.box)) << "block " << b;
        EXPECT_NEAR(block.box.height(), block.textLines.size() * flow.lineHeight, e);
        for (int t = 0; t < block.textLines.size(); ++t) {
            const bool indented = t > 0 || block.continued;
            EXPECT_LE(measure.width(block.textLines[t], block.bold),
                      flow.columnWidth - (indented ? block.indent : 0.0) + e);
        }
        for (size_t o = b + 1; o < flow.blocks.size(); ++o) {
            const PlacedBlock& other = flow.blocks[o];
            const QRectF inner = other.box.adjusted(e, e, -e, -e);
            EXPECT_FALSE(block.page == other.page && block.box.intersects(inner))
                << "blocks " << b << " and " << o;
        }
        if (block.bold && b + 1 < flow.blocks.size() && flow.blocks[b + 1].line != block.line) {
            EXPECT_EQ(flow.blocks[b + 1].page, block.page) << "heading of block " << b;
            EXPECT_EQ(flow.blocks[b + 1].column, block.column) << "heading of block " << b;
        }
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(withoutSpaces(shown[i]), withoutSpaces(lines[i].text));
    }
}

}  // namespace

TEST(LayoutFlow, FillsColumnsTopDownThenNewPages) {
    const auto lines = entries(25);
    const LayoutFlow flow = FlowIntoColumns(lines, smallPage(2), exactMeasure());
    expectSoundFlow(flow, lines, smallPage(2), exactMeasure());
    ASSERT_EQ(flow.blocks.size(), 25u);
    EXPECT_DOUBLE_EQ(flow.columnWidth, 35.0);
    EXPECT_EQ(flow.pageCount, 2);
    EXPECT_EQ(flow.blocks[9].box, QRectF(10.0, 46.0, 35.0, 4.0));   // foot of the first column
    EXPECT_EQ(flow.blocks[10].box, QRectF(55.0, 10.0, 35.0, 4.0));  // top of the second
    EXPECT_EQ(flow.blocks[20].page, 1);
    EXPECT_EQ(flow.blocks[20].column, 0);
    EXPECT_EQ(flow.blocks[20].box.topLeft(), QPointF(10.0, 10.0));
    EXPECT_EQ(FlowIntoColumns({}, smallPage(2), exactMeasure()).pageCount, 0);
}

TEST(LayoutFlow, WrapsWithAHangingIndentAndKeepsAWrappedLineInOneColumn) {
    auto lines = entries(8);
    lines.push_back(
        {QStringLiteral("Avenue de la Costa... H13, I12, I13, J12, J13, K12, K13"), false});
    const LayoutFlow flow = FlowIntoColumns(lines, smallPage(2), exactMeasure());
    expectSoundFlow(flow, lines, smallPage(2), exactMeasure());
    const PlacedBlock& wrapped = flow.blocks.back();
    EXPECT_EQ(wrapped.textLines,
              QStringList({"Avenue de la Costa... H13, I12,", "I13, J12, J13, K12, K13"}));
    EXPECT_DOUBLE_EQ(wrapped.indent, 2.0);
    // It takes the last two lines of the first column.
    EXPECT_EQ(wrapped.column, 0);
    EXPECT_EQ(wrapped.box, QRectF(10.0, 42.0, 35.0, 8.0));

    lines.insert(lines.begin(), {QStringLiteral("One more"), false});
    const LayoutFlow moved = FlowIntoColumns(lines, smallPage(2), exactMeasure());
    EXPECT_EQ(moved.blocks.back().column, 1);
    EXPECT_EQ(moved.blocks.back().box.top(), 10.0);
    EXPECT_EQ(moved.blocks.back().textLines.size(), 2);
}

TEST(LayoutFlow, AHeadingMovesToTheNextColumnRatherThanEndOne) {
    auto lines = entries(9);
    lines.push_back({QStringLiteral("B"), true});
    lines.push_back({QStringLiteral("Bay Road... C3"), false});
    const LayoutFlow flow = FlowIntoColumns(lines, smallPage(2), exactMeasure());
    expectSoundFlow(flow, lines, smallPage(2), exactMeasure());
    EXPECT_EQ(flow.blocks[9].column, 1);
    EXPECT_EQ(flow.blocks[9].box.top(), 10.0);
    EXPECT_TRUE(flow.blocks[9].bold);

    // Headings in a row go together with the entry after them.
    auto nested = entries(7);
    nested.push_back({QStringLiteral("B"), true});
    nested.push_back({QStringLiteral("Ba"), true});
    nested.push_back({QStringLiteral("Bay Road... C3, C4, C5, C6, C7, C8, C9"), false});
    const LayoutFlow nestedFlow = FlowIntoColumns(nested, smallPage(2), exactMeasure());
    expectSoundFlow(nestedFlow, nested, smallPage(2), exactMeasure());
    EXPECT_EQ(nestedFlow.blocks[7].column, 1);

    // A bold heading wraps by its bold width.
    const std::vector<FlowLine> wide = {{QString(20, QLatin1Char('H')), true}, {"x", false}};
    EXPECT_EQ(FlowIntoColumns(wide, smallPage(2), exactMeasure()).blocks[0].textLines.size(), 2);
}

TEST(LayoutFlow, ALineTallerThanAColumnRunsOnThroughTheNextColumns) {
    QString pages = QStringLiteral("Long Street...");
    for (int i = 0; i < 150; ++i) {
        pages += QStringLiteral(" P%1,").arg(i, 3, 10, QLatin1Char('0'));
    }
    std::vector<FlowLine> lines = {{QStringLiteral("L"), true}, {pages, false}};
    const LayoutFlow flow = FlowIntoColumns(lines, smallPage(2), exactMeasure());
    expectSoundFlow(flow, lines, smallPage(2), exactMeasure());
    ASSERT_GE(flow.blocks.size(), 4u);
    EXPECT_EQ(flow.blocks[1].column, 0);  // right after its heading
    EXPECT_FALSE(flow.blocks[1].continued);
    EXPECT_TRUE(flow.blocks[2].continued);
    EXPECT_EQ(flow.blocks[2].line, 1);
    EXPECT_EQ(flow.blocks.back().line, 1);
}

TEST(LayoutFlow, ManyRandomIndexesFlowSoundlyInOneToManyColumns) {
    std::mt19937 random(20240601);
    for (int columns : {1, 2, 3, 5, 8}) {
        std::vector<FlowLine> lines;
        for (int i = 0; i < 400; ++i) {
            QString text;
            const int words = 1 + static_cast<int>(random() % 12);
            for (int w = 0; w < words; ++w) {
                const int length = random() % 20 == 0 ? 45 : 1 + static_cast<int>(random() % 8);
                text += (w ? QStringLiteral(" ") : QString()) + QString(length, QChar(u'a' + w));
            }
            const bool heading = random() % 6 == 0;
            lines.push_back({heading ? QString(1, QChar(u'A' + i % 26)) : text, heading});
        }
        const FlowPage page = smallPage(columns, 2.0);
        const LayoutFlow flow = FlowIntoColumns(lines, page, exactMeasure());
        SCOPED_TRACE(columns);
        expectSoundFlow(flow, lines, page, exactMeasure());
        EXPECT_EQ(flow.pageCount, flow.blocks.back().page + 1);
    }
}

TEST(LayoutFlow, RefusesPagesWithoutRoomForTheIndex) {
    const auto lines = entries(3);
    const auto refused = [&](FlowPage page) {
        EXPECT_THROW(FlowIntoColumns(lines, page, exactMeasure()), PrintError);
    };
    FlowPage page = smallPage(2);
    page.columns = 0;
    refused(page);
    page = smallPage(2);
    page.margins = QMarginsF(50.0, 10.0, 50.0, 10.0);
    refused(page);
    refused(smallPage(2, 80.0));  // the gap takes the whole width
    page = smallPage(20, 2.0);    // columns 2.1 mm wide, narrower than the indent
    refused(page);
    page = smallPage(2);
    page.paper.setHeight(23.0);  // 3 mm between the margins: less than a line
    refused(page);
}

TEST(LayoutFlow, MeasuredInTheIndexFontEveryLineFitsItsColumn) {
    const TextMeasure font = FontMeasure(IndexFont());
    EXPECT_GT(font.lineHeight, 2.0);  // 6 pt is 2.1 mm; lines a little more apart
    EXPECT_LT(font.lineHeight, 3.5);
    EXPECT_GT(font.width("Main Street", true), font.width("Main Street", false));
    EXPECT_GT(font.width("Main Street... A1", false), font.width("Main Street", false));

    std::vector<FlowLine> lines = {{"A", true}};
    for (int i = 0; i < 600; ++i) {
        lines.push_back(
            {QStringLiteral("Boulevard des Moulins %1... A1-A3, B7, C%1").arg(i), i % 100 == 99});
    }
    FlowPage page;  // A4, 4 columns
    const LayoutFlow flow = FlowIntoColumns(lines, page);
    expectSoundFlow(flow, lines, page, font);
    EXPECT_GE(flow.pageCount, 1);
}
