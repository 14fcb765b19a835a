#include "buildrun/layout_output.h"

#include <vector>

namespace bramlotte::buildrun {

void PlaceColumns(host::MapDocument& document, const QString& layoutName, const QStringList& lines,
                  int columns) {
    document.activatePageLayout(layoutName);
    std::unique_ptr<host::ActiveView> view = document.activeView();
    view->refresh();
    const QStringList texts = index::ColumnTexts(lines, columns);
    std::unique_ptr<host::PageLayout> layout = document.pageLayout(layoutName);
    const host::TextSymbol font;  // Arial 6 pt bold, one for every column
    const double top = layout->pageHeight() - 2.5;
    std::vector<host::TextElement> elements;
    for (int c = 1; c <= columns; ++c) {
        host::TextElement element;
        element.symbol = font;
        element.x = 2.0 * c - 1.0;
        element.y = top;
        element.text = texts.at(c - 1);
        elements.push_back(std::move(element));
    }
    // All columns in one call: placed one by one, each would cost the host
    // time in proportion to the columns already there.
    layout->addElements(elements);
    constexpr int kGraphicsPhase = 8;
    view->partialRefresh(kGraphicsPhase);
}

}  // namespace bramlotte::buildrun
