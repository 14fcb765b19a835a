#include "buildrun/layout_output.h"

namespace bramlotte::buildrun {

void PlaceColumns(host::MapDocument& document, const index::ResultList& lines, int columns) {
    document.activatePageLayout();
    std::unique_ptr<host::ActiveView> view = document.activeView();
    view->refresh();
    const QStringList texts = index::ColumnTexts(lines, columns);
    std::unique_ptr<host::PageLayout> layout = document.pageLayout();
    const host::TextSymbol font;  // Arial 6 pt bold, one for every column
    constexpr int kGraphicsPhase = 8;
    for (int c = 1; c <= columns; ++c) {
        host::TextElement element;
        element.symbol = font;
        element.x = 2.0 * c - 1.0;
        element.y = layout->pageHeight() - 2.5;
        element.text = texts.at(c - 1);
        layout->addElement(element);
        view->partialRefresh(kGraphicsPhase);
    }
}

}  // namespace bramlotte::buildrun
