#include "map/qgis/qgis_page_layout.h"

#include "support/file_checks.h"
#include "support/replacement_file.h"

#include <qgslayoutexporter.h>
#include <qgslayoutitemlabel.h>
#include <qgslayoutitempage.h>
#include <qgslayoutmanager.h>
#include <qgslayoutpagecollection.h>

#include <QFont>
#include <QFontMetricsF>
#include <QImage>

#include <algorithm>

namespace bramlotte::qgishost {
namespace {

QgsLayoutSize pageSizeInches(QgsPrintLayout& layout) {
    QgsLayoutItemPage* page = layout.pageCollection()->page(0);
    if (!page) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The page layout has no page."));
    }
    return layout.renderContext().measurementConverter().convert(page->pageSize(),
                                                                 QgsUnitTypes::LayoutInches);
}

// The size the text needs. The label's own fitting measures bold and
// multi-line text too small, which clips it, so measure each line here: at
// 72 dpi a point is a pixel, and ten times the size keeps hinting out of it.
QgsLayoutSize textSize(const QFont& font, const QString& text) {
    constexpr double kScale = 10.0;
    QImage device(1, 1, QImage::Format_ARGB32);
    device.setDotsPerMeterX(static_cast<int>(72 / 0.0254));
    device.setDotsPerMeterY(static_cast<int>(72 / 0.0254));
    QFont big(font);
    big.setPointSizeF(font.pointSizeF() * kScale);
    const QFontMetricsF metrics(big, &device);
    const QStringList lines = text.split(QLatin1Char('\n'));
    double width = 0;
    for (const QString& line : lines) {
        width = std::max(width, metrics.horizontalAdvance(line));
    }
    const double height = metrics.lineSpacing() * lines.size();
    constexpr double kMmPerPoint = 25.4 / 72.0;
    // A little slack so rounding never wraps or clips the last glyph or line.
    return QgsLayoutSize((width / kScale) * kMmPerPoint * 1.05 + 0.5,
                         (height / kScale) * kMmPerPoint * 1.05 + 0.5,
                         QgsUnitTypes::LayoutMillimeters);
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
        throw support::Failure(support::error::kFail,
                               QStringLiteral("A page layout cannot be added to the project."));
    }
    return added;
}

void exportPageLayoutPdf(QgsProject& project, const QString& path) {
    try {
        // The layout goes to a temporary file beside the target. The exporter
        // does not notice every failed write, so the file is read back
        // before it takes the target's place.
        support::ReplacementFile::Naming naming;
        naming.suffix = QByteArrayLiteral(".pdf");
        support::ReplacementFile file(path, naming);
        file.closeDescriptor();
        QgsLayoutExporter exporter(&pageLayoutOf(project));
        QgsLayoutExporter::PdfExportSettings settings;
        settings.textRenderFormat = Qgis::TextRenderFormat::AlwaysText;
        settings.rasterizeWholeImage = false;
        if (exporter.exportToPdf(file.temporaryFilePath(), settings) !=
            QgsLayoutExporter::Success) {
            throw support::Failure(support::error::kWriteFailed,
                                   QStringLiteral("the exporter failed"));
        }
        if (const QString damage = support::pdfDamage(file.temporaryFilePath());
            !damage.isEmpty()) {
            throw support::Failure(support::error::kWriteFailed,
                                   QStringLiteral("the PDF written was incomplete"));
        }
        file.commit();
    } catch (const support::Failure& e) {
        QString reason = e.description();
        if (reason.endsWith(QLatin1Char('.'))) {
            reason.chop(1);
        }
        throw support::Failure(
            e.number(),
            QStringLiteral("Cannot export the page layout to %1: %2.").arg(path, reason));
    }
}

QgsPrintLayout& QgisPageLayout::layout() const {
    if (!layout_) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The page layout no longer exists."));
    }
    return *layout_;
}

double QgisPageLayout::pageWidth() const {
    return pageSizeInches(layout()).width();
}

double QgisPageLayout::pageHeight() const {
    return pageSizeInches(layout()).height();
}

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
    label->attemptResize(textSize(font, text));
    const double height = pageHeight();
    label->attemptMove(QgsLayoutPoint(element.x, height - element.y, QgsUnitTypes::LayoutInches));
    l.addLayoutItem(label.release());  // the layout owns its items
}

}  // namespace bramlotte::qgishost
