#include "buildrun/fitted_layout.h"

#include "print/print_error.h"
#include "print/text_measure.h"
#include "support/base/failure.h"

#include <QFont>

#include <optional>
#include <vector>

namespace bramlotte::buildrun {

const char* const kFittedFontFace = "Arial";

namespace {

// Text is measured a little wider than the font's metrics say, so that the
// layout's own drawing, rounded differently, never needs more than the label
// it is given and wraps or clips nothing.
constexpr double kMeasureSlack = 1.03;
constexpr int kGraphicsPhase = 8;

}  // namespace

FittedLayout PlaceFitted(host::MapDocument& document, const QString& layoutName,
                         const std::vector<print::FlowLine>& lines, int columns,
                         const PrintOptions& options) {
    document.activatePageLayout(layoutName);
    std::unique_ptr<host::ActiveView> view = document.activeView();
    view->refresh();
    std::unique_ptr<host::PageLayout> layout = document.pageLayout(layoutName);

    print::FlowPage page;
    page.paper = QSizeF(layout->pageWidthMillimetres(), layout->pageHeightMillimetres());
    const double m = options.marginMillimetres;
    page.margins = QMarginsF(m, m, m, m);
    page.columns = columns;
    auto flowAt = [&](double points) {
        QFont font(QString::fromLatin1(kFittedFontFace));
        font.setPointSizeF(points);
        try {
            print::TextMeasure measure = print::FontMeasure(font);
            measure.width = [exact = measure.width](const QString& text, bool bold) {
                return exact(text, bold) * kMeasureSlack;
            };
            return print::FlowIntoColumns(lines, page, measure);
        } catch (const print::PrintError& e) {
            throw support::Failure(support::error::kInvalidArgument, e.message());
        }
    };
    double points = options.fontSizePoints;
    print::LayoutFlow flow = flowAt(points);
    if (options.fitPages > 0 && flow.pageCount > options.fitPages &&
        points > kSmallestFittedPoints) {
        // The half points below the size, down to the smallest: smaller type
        // takes no more pages, so the largest that fits is found by halving.
        std::vector<double> sizes;
        for (double p = points - 0.5; p > kSmallestFittedPoints; p -= 0.5) {
            sizes.push_back(p);
        }
        sizes.push_back(kSmallestFittedPoints);
        size_t low = 0, high = sizes.size();  // the first size that fits lies in [low, high]
        std::optional<print::LayoutFlow> fitting;
        while (low < high) {
            const size_t middle = low + (high - low) / 2;
            print::LayoutFlow tried = flowAt(sizes[middle]);
            if (tried.pageCount <= options.fitPages) {
                high = middle;
                fitting = std::move(tried);
                points = sizes[middle];
            } else {
                low = middle + 1;
            }
        }
        if (!fitting || points != sizes[low]) {
            points = sizes[std::min(low, sizes.size() - 1)];
            fitting = flowAt(points);
        }
        flow = std::move(*fitting);
    }

    while (layout->pageCount() < flow.pageCount) {
        layout->addPage();
    }
    std::vector<host::PlacedText> texts;
    for (const print::PlacedBlock& block : flow.blocks) {
        for (int i = 0; i < block.textLines.size(); ++i) {
            const bool hanging = i > 0 || block.continued;
            host::PlacedText text;
            text.page = block.page;
            text.left = block.box.left() + (hanging ? block.indent : 0.0);
            text.top = block.box.top() + i * flow.lineHeight;
            text.width = block.box.width() - (hanging ? block.indent : 0.0);
            text.height = flow.lineHeight;
            text.text = block.textLines.at(i);
            text.fontFace = QString::fromLatin1(kFittedFontFace);
            text.sizePoints = points;
            text.bold = block.bold;
            texts.push_back(std::move(text));
        }
    }
    layout->addTexts(texts);
    view->partialRefresh(kGraphicsPhase);
    return {points, flow.pageCount};
}

}  // namespace bramlotte::buildrun
