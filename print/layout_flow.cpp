#include "print/layout_flow.h"

#include "print/line_wrap.h"
#include "print/print_error.h"

#include <algorithm>
#include <cmath>

namespace bramlotte::print {

namespace {

void require(bool ok, const char* message) {
    if (!ok) {
        throw PrintError(QString::fromUtf8(message));
    }
}

bool finiteAtLeastZero(double value) {
    return std::isfinite(value) && value >= 0.0;
}

// Where the columns of every page stand, and how many lines each holds.
struct ColumnGrid {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double step = 0.0;  // from one column's left edge to the next one's
    double lineHeight = 0.0;
    int perPage = 0;
    int lines = 0;  // per column
};

ColumnGrid columnGridOf(const FlowPage& page, const TextMeasure& measure) {
    require(page.columns >= 1, "The index needs at least one column.");
    const QMarginsF& m = page.margins;
    require(std::isfinite(page.paper.width()) && std::isfinite(page.paper.height()) &&
                page.paper.width() > 0.0 && page.paper.height() > 0.0,
            "The paper size must be greater than zero.");
    require(finiteAtLeastZero(m.left()) && finiteAtLeastZero(m.top()) &&
                finiteAtLeastZero(m.right()) && finiteAtLeastZero(m.bottom()),
            "The page margins must not be negative.");
    const double printableWidth = page.paper.width() - m.left() - m.right();
    const double printableHeight = page.paper.height() - m.top() - m.bottom();
    require(printableWidth > 0.0 && printableHeight > 0.0,
            "The margins leave no room on the page.");
    require(finiteAtLeastZero(page.columnGap), "The column gap must not be negative.");
    require(measure.width && std::isfinite(measure.lineHeight) && measure.lineHeight > 0.0,
            "The index font has no size.");

    ColumnGrid grid;
    grid.left = m.left();
    grid.top = m.top();
    grid.perPage = page.columns;
    grid.width = (printableWidth - (page.columns - 1) * page.columnGap) / page.columns;
    require(grid.width > 0.0, "The columns and the gaps between them do not fit across the page.");
    grid.step = grid.width + page.columnGap;
    grid.lineHeight = measure.lineHeight;
    // The tolerance keeps a page made to hold exactly k lines from losing one
    // to rounding.
    const double lines = std::floor(printableHeight / measure.lineHeight + 1e-9);
    require(lines >= 1.0, "The page is too low for a line of the index.");
    grid.lines = static_cast<int>(std::min(lines, 1e9));
    return grid;
}

// Fills the columns one line slot after another.
class ColumnFiller {
  public:
    ColumnFiller(const ColumnGrid& grid, double indent, std::vector<PlacedBlock>& blocks)
        : grid_(grid), indent_(indent), blocks_(blocks) {}

    int room() const { return grid_.lines - used_; }
    bool atColumnTop() const { return used_ == 0; }
    void nextColumn() {
        ++column_;
        used_ = 0;
    }

    // Places the text lines of index line `line`: whole in this column when
    // they fit, else whole at the top of the next one. They are cut over
    // columns, starting here, when `cutHere` or when no column holds them.
    void place(int line, const QStringList& textLines, bool bold, bool cutHere) {
        const int count = textLines.size();
        if (room() == 0 || (count > room() && !cutHere && count <= grid_.lines)) {
            nextColumn();
        }
        for (int from = 0;;) {
            const int take = std::min(count - from, room());
            addBlock(line, textLines.mid(from, take), bold, from > 0);
            used_ += take;
            from += take;
            if (from == count) {
                return;
            }
            nextColumn();
        }
    }

  private:
    void addBlock(int line, const QStringList& textLines, bool bold, bool continued) {
        PlacedBlock block;
        block.line = line;
        block.page = column_ / grid_.perPage;
        block.column = column_ % grid_.perPage;
        const double top = grid_.top + used_ * grid_.lineHeight;
        const double bottom = grid_.top + (used_ + textLines.size()) * grid_.lineHeight;
        block.box = QRectF(grid_.left + block.column * grid_.step, top, grid_.width, bottom - top);
        block.textLines = textLines;
        block.bold = bold;
        block.continued = continued;
        block.indent = indent_;
        blocks_.push_back(std::move(block));
    }

    const ColumnGrid grid_;
    const double indent_;
    std::vector<PlacedBlock>& blocks_;
    int column_ = 0;  // counted over all pages
    int used_ = 0;    // line slots taken in the column
};

}  // namespace

LayoutFlow FlowIntoColumns(const std::vector<FlowLine>& lines, const FlowPage& page,
                           const TextMeasure& measure) {
    const ColumnGrid grid = columnGridOf(page, measure);
    require(finiteAtLeastZero(page.hangingIndentEm) && finiteAtLeastZero(measure.em),
            "The hanging indent must not be negative.");
    const double indent = page.hangingIndentEm * measure.em;
    require(indent < grid.width, "The hanging indent is as wide as a column.");

    std::vector<QStringList> wrapped;
    wrapped.reserve(lines.size());
    for (const FlowLine& line : lines) {
        const bool bold = line.heading;
        wrapped.push_back(WrapText(line.text, grid.width, grid.width - indent,
                                   [&](const QString& text) { return measure.width(text, bold); }));
    }

    LayoutFlow flow;
    flow.columnWidth = grid.width;
    flow.lineHeight = grid.lineHeight;
    flow.blocks.reserve(lines.size());
    ColumnFiller filler(grid, indent, flow.blocks);
    const int count = static_cast<int>(lines.size());
    const auto height = [&](int i) { return wrapped[static_cast<size_t>(i)].size(); };
    for (int i = 0; i < count;) {
        if (!lines[static_cast<size_t>(i)].heading) {
            filler.place(i, wrapped[static_cast<size_t>(i)], false, false);
            ++i;
            continue;
        }
        // Headings keep the line after them in their column: all of it, or
        // its first text line when it cannot share any column with them.
        int end = i;
        int headings = 0;
        while (end < count && lines[static_cast<size_t>(end)].heading) {
            headings += height(end++);
        }
        const bool hasEntry = end < count;
        int need = headings;
        if (hasEntry) {
            need += headings + height(end) <= grid.lines ? height(end) : 1;
        }
        if (!filler.atColumnTop() && need > filler.room()) {
            filler.nextColumn();
        }
        for (int h = i; h < end; ++h) {
            filler.place(h, wrapped[static_cast<size_t>(h)], true, false);
        }
        if (hasEntry) {
            filler.place(end, wrapped[static_cast<size_t>(end)], false, true);
            ++end;
        }
        i = end;
    }
    flow.pageCount = flow.blocks.empty() ? 0 : flow.blocks.back().page + 1;
    return flow;
}

LayoutFlow FlowIntoColumns(const std::vector<FlowLine>& lines, const FlowPage& page,
                           const QFont& font) {
    return FlowIntoColumns(lines, page, FontMeasure(font));
}

}  // namespace bramlotte::print
