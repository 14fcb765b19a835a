#include "map/qgis/qgis_page_layout.h"

#include <qgslayoutitemlabel.h>
#include <qgslayoutitempage.h>
#include <qgslayoutmanager.h>
#include <qgslayoutpagecollection.h>

#include <QFont>

namespace bramlotte::qgis {
namespace {

QgsLayoutSize pageSizeInches(QgsPrintLayout& layout) {
    QgsLayoutItemPage* page = layout.pageCollection()->page(0);
    if (!page) {
        throw host::HostError(host::error::kFail, QStringLiteral("The page layout has no page."));
    }
    return layout.renderContext().measurementConverter().convert(page->pageSize(),
                                                                 QgsUnitTypes::LayoutInches);
}

}  // namespace

QgsPrintLayout& pageLayoutOf(QgsProject& project) {
    const QList<QgsPrintLayout*> layouts = project.layoutManager()->printLayouts();
    if (!layouts.isEmpty()) {
        return *layouts.first();
    }
    auto layout = std::make_unique<QgsPrintLayout>(&project);
    layout->initializeDefaults();
    layout->setName(QStringLiteral("Index"));
    layout->pageCollection()->page(0)->setPageSize(
        QgsLayoutSize(8.5, 11.0, QgsUnitTypes::LayoutInches));
    QgsPrintLayout& added = *layout;
    if (!project.layoutManager()->addLayout(layout.release())) {
        throw host::HostError(host::error::kFail,
                              QStringLiteral("A page layout cannot be added to the project."));
    }
    return added;
}

QgsPrintLayout& QgisPageLayout::layout() const {
    if (!layout_) {
        throw host::HostError(host::error::kFail,
                              QStringLiteral("The page layout no longer exists."));
    }
    return *layout_;
}

double QgisPageLayout::pageWidth() const { return pageSizeInches(layout()).width(); }

double QgisPageLayout::pageHeight() const { return pageSizeInches(layout()).height(); }

void QgisPageLayout::addElement(const host::TextElement& element) {
    QgsPrintLayout& l = layout();
    auto label = std::make_unique<QgsLayoutItemLabel>(&l);
    QFont font(element.symbol.fontFace);
    font.setPointSizeF(element.symbol.sizePoints);
    font.setBold(element.symbol.bold);
    label->setFont(font);
    label->setMargin(0);
    // Setting 0: left-aligned text hanging from its upper-left corner.
    label->setHAlign(Qt::AlignLeft);
    label->setVAlign(Qt::AlignTop);
    label->setReferencePoint(QgsLayoutItem::UpperLeft);
    // The layout draws one line per LF; a CR would show as a stray glyph.
    QString text = element.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    label->setText(text);
    label->adjustSizeToText();
    const double height = pageHeight();
    label->attemptMove(
        QgsLayoutPoint(element.x, height - element.y, QgsUnitTypes::LayoutInches));
    l.addLayoutItem(label.release());  // the layout owns its items
}

}  // namespace bramlotte::qgis
