#include "map/qgis/desktop/qgis_page_layout.h"

#include "support/files/file_checks.h"
#include "support/files/replacement_file.h"

#include <qgslayoutexporter.h>
#include <qgslayoutitemlabel.h>
#include <qgslayoutitempage.h>
#include <qgslayoutmanager.h>
#include <qgslayoutmodel.h>
#include <qgslayoutpagecollection.h>

#include <QFont>
#include <QFontMetricsF>
#include <QGraphicsEffect>
#include <QImage>
#include <QThread>

#include <algorithm>
#include <exception>
#include <thread>

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

QgsLayoutSize pageSizeMillimetres(QgsPrintLayout& layout) {
    QgsLayoutItemPage* page = layout.pageCollection()->page(0);
    if (!page) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The page layout has no page."));
    }
    return layout.renderContext().measurementConverter().convert(page->pageSize(),
                                                                 QgsUnitTypes::LayoutMillimeters);
}

// Above this many labels at once, they are made on a thread of their own.
constexpr size_t kManyLabels = 1000;

// `count` new labels of `layout`, owned by the caller's thread. A label made
// on the main thread also makes a QtWebKit page for "Render as HTML", and
// making a page walks every page made before: the time grows with the square
// of the labels (minutes for 32,767 columns), and each page holds about
// 50 KB. Made on another thread, a label gets no page (QGIS makes one on the
// main thread only) and draws its text all the same; a project saved and
// opened again gives every label its page back. So a large batch is made on
// a thread of its own while this one waits (nothing else touches the layout
// meanwhile), and handed over at once; a small batch stays as QGIS makes it.
std::vector<std::unique_ptr<QgsLayoutItemLabel>> newLabels(QgsPrintLayout& layout, size_t count) {
    std::vector<std::unique_ptr<QgsLayoutItemLabel>> labels;
    labels.reserve(count);
    if (count < kManyLabels) {
        for (size_t i = 0; i < count; ++i) {
            labels.push_back(std::make_unique<QgsLayoutItemLabel>(&layout));
        }
        return labels;
    }
    QThread* const owner = QThread::currentThread();
    std::exception_ptr failure;
    std::thread maker([&] {
        try {
            for (size_t i = 0; i < count; ++i) {
                auto label = std::make_unique<QgsLayoutItemLabel>(&layout);
                label->moveToThread(owner);
                if (QGraphicsEffect* effect = label->graphicsEffect()) {
                    effect->moveToThread(owner);
                }
                labels.push_back(std::move(label));
            }
        } catch (...) {
            failure = std::current_exception();
        }
    });
    maker.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return labels;
}

// Shows `element` on `label`: left-aligned text hanging from its upper-left
// corner (setting 0), the corner `element` gives from the page's lower-left.
void showElement(QgsLayoutItemLabel& label, const host::TextElement& element, double pageHeight) {
    QFont font(element.symbol.fontFace);
    font.setPointSizeF(element.symbol.sizePoints);
    font.setBold(element.symbol.bold);
    label.setFont(font);
    label.setMargin(0);
    label.setHAlign(Qt::AlignLeft);
    label.setVAlign(Qt::AlignTop);
    label.setReferencePoint(QgsLayoutItem::UpperLeft);
    // The layout draws one line per LF; a CR would show as a stray glyph.
    QString text = element.text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    label.setText(text);
    label.attemptResize(labelTextSize(font, text));
    label.attemptMove(
        QgsLayoutPoint(element.x, pageHeight - element.y, QgsUnitTypes::LayoutInches));
}

// QGIS deletes a layout's items one at a time, and every deletion looks
// through all the items left, in its z-order list and in QtWebKit's list of
// the labels' pages: hours for tens of thousands of labels. So just before
// the project removes `layout`, its labels go in one sweep: the z-order list
// emptied first, the oldest label first (QtWebKit's list runs from the
// oldest), the list rebuilt for the items left. Arranged once per layout.
void deleteLabelsBeforeRemoval(QgsPrintLayout& layout) {
    const QString sweeperName = QStringLiteral("bramlotte-label-sweep");
    if (layout.findChild<QObject*>(sweeperName, Qt::FindDirectChildrenOnly)) {
        return;
    }
    auto* sweeper = new QObject(&layout);  // owned by the layout; disconnects with it
    sweeper->setObjectName(sweeperName);
    QObject::connect(layout.project()->layoutManager(), &QgsLayoutManager::layoutAboutToBeRemoved,
                     sweeper, [&layout](const QString& name) {
                         if (name != layout.name()) {
                             return;
                         }
                         QList<QgsLayoutItemLabel*> labels;
                         layout.layoutItems(labels);  // topmost, so newest, first
                         layout.itemsModel()->clear();
                         std::for_each(labels.rbegin(), labels.rend(),
                                       [](QgsLayoutItemLabel* l) { delete l; });
                         layout.itemsModel()->rebuildZList();
                     });
}

}  // namespace

// The size the text needs. The label's own fitting measures bold and
// multi-line text too small, which clips it, so measure each line here: at
// 72 dpi a point is a pixel, and ten times the size keeps hinting out of it.
QgsLayoutSize labelTextSize(const QFont& font, const QString& text) {
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

QgsPrintLayout& pageLayoutOf(QgsProject& project, const QString& name) {
    const QList<QgsPrintLayout*> layouts = project.layoutManager()->printLayouts();
    for (QgsPrintLayout* layout : layouts) {
        if (name.isEmpty() || layout->name() == name) {
            return *layout;
        }
    }
    auto layout = std::make_unique<QgsPrintLayout>(&project);
    layout->initializeDefaults();
    layout->setName(name.isEmpty() ? QStringLiteral("Index") : name);
    layout->pageCollection()->page(0)->setPageSize(
        QgsLayoutSize(8.5, 11.0, QgsUnitTypes::LayoutInches));
    QgsPrintLayout& added = *layout;
    if (!project.layoutManager()->addLayout(layout.release())) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("A page layout cannot be added to the project."));
    }
    return added;
}

void exportPageLayoutPdf(QgsProject& project, const QString& path, const QString& layoutName) {
    try {
        // The layout goes to a temporary file beside the target.
        support::ReplacementFile::Naming naming;
        naming.suffix = QByteArrayLiteral(".pdf");
        support::ReplacementFile file(path, naming);
        file.closeDescriptor();
        QgsLayoutExporter exporter(&pageLayoutOf(project, layoutName));
        if (exporter.exportToPdf(file.temporaryFilePath(), searchablePdfSettings()) !=
            QgsLayoutExporter::Success) {
            throw support::Failure(support::error::kWriteFailed,
                                   QStringLiteral("the exporter failed"));
        }
        commitWholePdf(file);
    } catch (const support::Failure& e) {
        throw exportFailure(e, QStringLiteral("the page layout"), path);
    }
}

QgsLayoutExporter::PdfExportSettings searchablePdfSettings() {
    QgsLayoutExporter::PdfExportSettings settings;
    settings.textRenderFormat = Qgis::TextRenderFormat::AlwaysText;
    settings.rasterizeWholeImage = false;
    return settings;
}

void commitWholePdf(support::ReplacementFile& file) {
    if (const QString damage = support::pdfDamage(file.temporaryFilePath()); !damage.isEmpty()) {
        throw support::Failure(support::error::kWriteFailed,
                               QStringLiteral("the PDF written was incomplete"));
    }
    file.commit();
}

support::Failure exportFailure(const support::Failure& failure, const QString& what,
                               const QString& path) {
    QString reason = failure.description();
    if (reason.endsWith(QLatin1Char('.'))) {
        reason.chop(1);
    }
    return support::Failure(failure.number(),
                            QStringLiteral("Cannot export %1 to %2: %3.").arg(what, path, reason));
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

void QgisPageLayout::addElements(const std::vector<host::TextElement>& elements) {
    QgsPrintLayout& l = layout();
    const double height = pageHeight();
    // Every label is made before any joins the scene: a new label looks
    // through the items on the scene (its expression context and QGIS's
    // z-order list do), so making them all first keeps each look short.
    std::vector<std::unique_ptr<QgsLayoutItemLabel>> labels = newLabels(l, elements.size());
    for (size_t i = 0; i < elements.size(); ++i) {
        showElement(*labels[i], elements[i], height);
    }
    // Then onto the scene at once, with the bounds and the z-order list
    // brought up to date once. QgsLayout::addLayoutItem() would do both, and
    // keep an undo step, for every label: time growing with the square and
    // the cube of the number of labels.
    for (std::unique_ptr<QgsLayoutItemLabel>& label : labels) {
        l.addItem(label.release());  // the layout owns its items
    }
    l.updateBounds();
    l.itemsModel()->rebuildZList();
    deleteLabelsBeforeRemoval(l);
}

double QgisPageLayout::pageWidthMillimetres() const {
    return pageSizeMillimetres(layout()).width();
}

double QgisPageLayout::pageHeightMillimetres() const {
    return pageSizeMillimetres(layout()).height();
}

int QgisPageLayout::pageCount() const {
    return layout().pageCollection()->pageCount();
}

void QgisPageLayout::addPage() {
    QgsPrintLayout& l = layout();
    auto page = std::make_unique<QgsLayoutItemPage>(&l);
    page->setPageSize(l.pageCollection()->page(0)->pageSize());
    l.pageCollection()->addPage(page.release());  // the collection owns its pages
}

void QgisPageLayout::addTexts(const std::vector<host::PlacedText>& texts) {
    QgsPrintLayout& l = layout();
    const int pages = l.pageCollection()->pageCount();
    // Made first, then onto the scene at once, as addElements does.
    for (const host::PlacedText& placed : texts) {
        if (placed.page < 0 || placed.page >= pages) {
            throw support::Failure(
                support::error::kInvalidArgument,
                QStringLiteral("The layout has no page %1.").arg(placed.page + 1));
        }
    }
    std::vector<std::unique_ptr<QgsLayoutItemLabel>> labels = newLabels(l, texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        const host::PlacedText& placed = texts[i];
        QgsLayoutItemLabel* label = labels[i].get();
        QFont font(placed.fontFace);
        font.setPointSizeF(placed.sizePoints);
        font.setBold(placed.bold);
        label->setFont(font);
        label->setMargin(0);
        label->setHAlign(Qt::AlignLeft);
        label->setVAlign(Qt::AlignTop);
        label->setReferencePoint(QgsLayoutItem::UpperLeft);
        label->setText(placed.text);
        label->attemptResize(
            QgsLayoutSize(placed.width, placed.height, QgsUnitTypes::LayoutMillimeters));
        // A position on a page other than the first is given on that page.
        label->attemptMove(QgsLayoutPoint(placed.left, placed.top, QgsUnitTypes::LayoutMillimeters),
                           true, false, placed.page);
    }
    for (std::unique_ptr<QgsLayoutItemLabel>& label : labels) {
        l.addItem(label.release());  // the layout owns its items
    }
    l.updateBounds();
    l.itemsModel()->rebuildZList();
    deleteLabelsBeforeRemoval(l);
}

}  // namespace bramlotte::qgishost
