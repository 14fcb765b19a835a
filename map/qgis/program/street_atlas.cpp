#include "map/qgis/program/street_atlas.h"

#include "map/qgis/desktop/qgis_page_layout.h"

#include "support/base/failure.h"
#include "support/files/replacement_file.h"

#include <qgsabstractlayoutiterator.h>
#include <qgsexpression.h>
#include <qgsfeedback.h>
#include <qgslayertree.h>
#include <qgslayoutexporter.h>
#include <qgslayoutitemlabel.h>
#include <qgslayoutitemmap.h>
#include <qgslayoutitemmapgrid.h>
#include <qgslayoutitempage.h>
#include <qgslayoutmanager.h>
#include <qgslayoutpagecollection.h>
#include <qgsproperty.h>
#include <qgsreportsectionfieldgroup.h>
#include <qgsreportsectionlayout.h>
#include <qgstextformat.h>
#include <qgsunittypes.h>

#include <QFont>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <vector>

namespace bramlotte::qgishost {
namespace {

const char* const kFontFace = "Arial";
// The strip above the map for the page's number, and the band around the
// map where the squares' names stand.
constexpr double kHeaderMm = 12.0;
constexpr double kSquareBandMm = 5.0;
constexpr double kPageNumberPt = 24.0;
constexpr double kCaptionPt = 9.0;
constexpr double kNeighbourPt = 11.0;
constexpr double kSquareNamePt = 10.0;
constexpr double kTitlePt = 32.0;
// How far inside the frame the neighbours' boxes stand.
constexpr double kNeighbourInsetMm = 1.5;

[[noreturn]] void refuse(const QString& message) {
    throw support::Failure(support::error::kInvalidArgument, message);
}

QFont fontOf(double points, bool bold) {
    QFont font(QString::fromLatin1(kFontFace));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

std::unique_ptr<QgsLayout> newLayout(QgsProject& project, const QSizeF& paper) {
    auto layout = std::make_unique<QgsLayout>(&project);
    auto page = std::make_unique<QgsLayoutItemPage>(layout.get());
    page->setPageSize(QgsLayoutSize(paper.width(), paper.height()));
    layout->pageCollection()->addPage(page.release());  // the collection owns its pages
    return layout;
}

// A label of `layout` showing `text` (expressions in [% %] evaluated for the
// current page) in a box of `size` whose `reference` point is at `at`.
QgsLayoutItemLabel& addLabel(QgsLayout& layout, const QString& text, const QFont& font,
                             Qt::AlignmentFlag hAlign, const QSizeF& size,
                             QgsLayoutItem::ReferencePoint reference, const QPointF& at) {
    auto label = std::make_unique<QgsLayoutItemLabel>(&layout);
    label->setText(text);
    label->setFont(font);
    label->setFontColor(QColor(20, 20, 20));
    label->setHAlign(hAlign);
    label->setVAlign(Qt::AlignVCenter);
    label->setMargin(0);
    label->setReferencePoint(reference);
    label->attemptResize(QgsLayoutSize(size.width(), size.height()));
    label->attemptMove(QgsLayoutPoint(at.x(), at.y()));
    QgsLayoutItemLabel& added = *label;
    layout.addLayoutItem(label.release());  // the layout owns its items
    return added;
}

// What the pages of the page layer have in common, read once.
struct PageLayerFacts {
    int count = 0;
    QgsRectangle first;  // the rectangle of the first page in order
    QString widestNumber;
};

PageLayerFacts readPages(QgsVectorLayer& pages, const QString& numberField) {
    const int numberIndex = pages.fields().lookupField(numberField);
    if (numberIndex < 0) {
        refuse(QStringLiteral("The page layer %1 has no field %2.").arg(pages.name(), numberField));
    }
    PageLayerFacts facts;
    QgsFeatureRequest request;
    request.setSubsetOfAttributes(QgsAttributeList{numberIndex});
    request.addOrderBy(QgsExpression::quotedColumnRef(numberField), true);
    QgsFeatureIterator it = pages.getFeatures(request);
    QgsFeature feature;
    while (it.nextFeature(feature)) {
        if (facts.count++ == 0) {
            facts.first = feature.geometry().boundingBox();
        }
        const QString number = feature.attribute(numberIndex).toString();
        if (number.size() > facts.widestNumber.size()) {
            facts.widestNumber = number;
        }
    }
    if (facts.count == 0) {
        refuse(QStringLiteral("The page layer %1 has no pages.").arg(pages.name()));
    }
    if (facts.first.isEmpty()) {
        refuse(QStringLiteral("The first page of %1 has no area.").arg(pages.name()));
    }
    return facts;
}

// Where the map goes on the paper and the scale it prints at.
struct MapPlacement {
    QRectF frame;
    double scale = 0.0;
};

MapPlacement placeMap(const StreetAtlasSettings& s, const QgsRectangle& cell,
                      QgsUnitTypes::DistanceUnit units, bool squares) {
    const double band = squares ? kSquareBandMm : 0.0;
    const double m = s.marginMillimetres;
    const QRectF room(m + band, m + kHeaderMm + band, s.paperMillimetres.width() - 2 * (m + band),
                      s.paperMillimetres.height() - 2 * (m + band) - kHeaderMm);
    if (!(m >= 0) || room.width() < 10.0 || room.height() < 10.0) {
        refuse(QStringLiteral("The paper leaves no room for a map inside its margin."));
    }
    // Metres of ground per map unit, for projected maps; other
    // units are fitted all the same, their scale only nominal.
    double metres = QgsUnitTypes::fromUnitToUnitFactor(units, QgsUnitTypes::DistanceMeters);
    if (!(metres > 0) || units == QgsUnitTypes::DistanceDegrees ||
        units == QgsUnitTypes::DistanceUnknownUnit) {
        metres = 1.0;
    }
    const double groundWidthMm = cell.width() * metres * 1000.0;
    const double groundHeightMm = cell.height() * metres * 1000.0;
    const double fitting = std::max(groundWidthMm / room.width(), groundHeightMm / room.height());
    MapPlacement placed;
    placed.scale = s.scale >= fitting ? s.scale : fitting;
    const QSizeF size(groundWidthMm / placed.scale, groundHeightMm / placed.scale);
    placed.frame =
        QRectF(QPointF(room.left() + (room.width() - size.width()) / 2, room.top()), size);
    return placed;
}

// The project's visible layers, top first, but for `hidden`.
QList<QgsMapLayer*> drawnLayers(QgsProject& project, const QList<QgsMapLayer*>& hidden) {
    QList<QgsMapLayer*> drawn;
    QgsLayerTree* root = project.layerTreeRoot();
    for (QgsMapLayer* layer : root->layerOrder()) {
        const QgsLayerTreeLayer* node = root->findLayer(layer);
        if (layer && node && node->isVisible() && !hidden.contains(layer)) {
            drawn.append(layer);
        }
    }
    return drawn;
}

QString quotedList(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names) {
        quoted << QgsExpression::quotedString(name);
    }
    return QStringLiteral("array(%1)").arg(quoted.join(QLatin1Char(',')));
}

// The squares' edges as thin lines over the map, and their names in the
// band around it. Both follow the page the report shows (@atlas_geometry);
// without one, in the designer, they show the first page.
void addSquares(QgsLayoutItemMap& map, const StreetAtlasSettings& s, const QgsRectangle& first) {
    const int columns = s.squareColumns.size();
    const int rows = s.squareRows.size();
    const QString page =
        QStringLiteral("coalesce(@atlas_geometry, geom_from_wkt(%1))")
            .arg(QgsExpression::quotedString(QgsGeometry::fromRect(first).asWkt()));
    const auto perPage = [&](const QString& expression) {
        return QgsProperty::fromExpression(
            QStringLiteral("with_variable('page', %1, %2)").arg(page, expression));
    };
    const QString width = QStringLiteral("(x_max(@page) - x_min(@page))");
    const QString height = QStringLiteral("(y_max(@page) - y_min(@page))");

    auto edges = std::make_unique<QgsLayoutItemMapGrid>(QStringLiteral("Square edges"), &map);
    edges->setUnits(QgsLayoutItemMapGrid::MapUnit);
    edges->setStyle(QgsLayoutItemMapGrid::Solid);
    edges->setGridLineColor(QColor(40, 40, 40, 150));
    edges->setGridLineWidth(0.2);
    edges->setFrameStyle(QgsLayoutItemMapGrid::NoFrame);
    edges->setAnnotationEnabled(false);
    edges->setIntervalX(first.width() / columns);
    edges->setIntervalY(first.height() / rows);
    edges->setOffsetX(first.xMinimum());
    edges->setOffsetY(first.yMinimum());
    QgsPropertyCollection& edgeProperties = edges->dataDefinedProperties();
    edgeProperties.setProperty(QgsLayoutObject::MapGridIntervalX,
                               perPage(QStringLiteral("%1 / %2").arg(width).arg(columns)));
    edgeProperties.setProperty(QgsLayoutObject::MapGridIntervalY,
                               perPage(QStringLiteral("%1 / %2").arg(height).arg(rows)));
    edgeProperties.setProperty(QgsLayoutObject::MapGridOffsetX, perPage("x_min(@page)"));
    edgeProperties.setProperty(QgsLayoutObject::MapGridOffsetY, perPage("y_min(@page)"));

    // The names stand at the squares' middles: a grid of no lines halfway
    // between the edges, its annotations the names.
    auto names = std::make_unique<QgsLayoutItemMapGrid>(QStringLiteral("Square names"), &map);
    names->setUnits(QgsLayoutItemMapGrid::MapUnit);
    names->setStyle(QgsLayoutItemMapGrid::FrameAnnotationsOnly);
    names->setFrameStyle(QgsLayoutItemMapGrid::NoFrame);
    names->setIntervalX(first.width() / columns);
    names->setIntervalY(first.height() / rows);
    names->setOffsetX(first.xMinimum() + first.width() / columns / 2);
    names->setOffsetY(first.yMinimum() + first.height() / rows / 2);
    QgsPropertyCollection& nameProperties = names->dataDefinedProperties();
    nameProperties.setProperty(QgsLayoutObject::MapGridIntervalX,
                               edgeProperties.property(QgsLayoutObject::MapGridIntervalX));
    nameProperties.setProperty(QgsLayoutObject::MapGridIntervalY,
                               edgeProperties.property(QgsLayoutObject::MapGridIntervalY));
    nameProperties.setProperty(
        QgsLayoutObject::MapGridOffsetX,
        perPage(QStringLiteral("x_min(@page) + %1 / %2").arg(width).arg(2 * columns)));
    nameProperties.setProperty(
        QgsLayoutObject::MapGridOffsetY,
        perPage(QStringLiteral("y_min(@page) + %1 / %2").arg(height).arg(2 * rows)));
    names->setAnnotationEnabled(true);
    names->setAnnotationFormat(QgsLayoutItemMapGrid::CustomFormat);
    // Columns count from the west edge, rows from the north one.
    names->setAnnotationExpression(
        QStringLiteral("with_variable('page', %1, CASE WHEN @grid_axis = 'x' "
                       "THEN array_get(%2, floor((@grid_number - x_min(@page)) * %3 / %4)) "
                       "ELSE array_get(%5, floor((y_max(@page) - @grid_number) * %6 / %7)) END)")
            .arg(page, quotedList(s.squareColumns))
            .arg(columns)
            .arg(width, quotedList(s.squareRows))
            .arg(rows)
            .arg(height));
    QgsTextFormat format;
    format.setFont(fontOf(kSquareNamePt, true));
    format.setSize(kSquareNamePt);
    format.setSizeUnit(QgsUnitTypes::RenderPoints);
    format.setColor(QColor(20, 20, 20));
    names->setAnnotationTextFormat(format);
    for (const auto side : {QgsLayoutItemMapGrid::Top, QgsLayoutItemMapGrid::Bottom}) {
        names->setAnnotationDisplay(QgsLayoutItemMapGrid::LongitudeOnly, side);
    }
    for (const auto side : {QgsLayoutItemMapGrid::Left, QgsLayoutItemMapGrid::Right}) {
        names->setAnnotationDisplay(QgsLayoutItemMapGrid::LatitudeOnly, side);
    }
    for (const auto side : {QgsLayoutItemMapGrid::Left, QgsLayoutItemMapGrid::Right,
                            QgsLayoutItemMapGrid::Top, QgsLayoutItemMapGrid::Bottom}) {
        names->setAnnotationPosition(QgsLayoutItemMapGrid::OutsideMapFrame, side);
    }
    names->setAnnotationDirection(QgsLayoutItemMapGrid::Horizontal);
    names->setAnnotationFrameDistance(1.5);

    map.grids()->addGrid(edges.release());  // the map owns its grids
    map.grids()->addGrid(names.release());
}

// The neighbour on one side: its number in a white box at the middle of
// that edge, inside the frame; nothing where the field is NULL. `before`
// and `after` stand around the number (an arrow pointing off the page).
void addNeighbour(QgsLayout& layout, const QgsVectorLayer& pages, const QString& field,
                  const QString& before, const QString& after, const QString& widestNumber,
                  QgsLayoutItem::ReferencePoint reference, const QPointF& at) {
    if (pages.fields().lookupField(field) < 0) {
        return;
    }
    const QString value = QgsExpression::quotedColumnRef(field);
    const QFont font = fontOf(kNeighbourPt, true);
    const QSizeF text = labelTextSize(font, before + widestNumber + after).toQSizeF();
    const QSizeF box(text.width() + 2.0, text.height() + 0.6);
    const QString expression =
        QStringLiteral("[% %1 || %2 || %3 %]")
            .arg(QgsExpression::quotedString(before), value, QgsExpression::quotedString(after));
    QgsLayoutItemLabel& label =
        addLabel(layout, expression, font, Qt::AlignHCenter, box, reference, at);
    label.setBackgroundEnabled(true);
    label.setBackgroundColor(Qt::white);
    label.setFrameEnabled(true);
    label.setFrameStrokeColor(QColor(40, 40, 40));
    label.setFrameStrokeWidth(QgsLayoutMeasurement(0.3));
    label.dataDefinedProperties().setProperty(
        QgsLayoutObject::ExcludeFromExports,
        QgsProperty::fromExpression(QStringLiteral("%1 IS NULL").arg(value)));
    label.setId(QStringLiteral("Neighbour %1").arg(field));
}

// "11 667": digits in groups of three.
QString scaleNumber(double scale) {
    QString digits = QString::number(std::llround(scale));
    for (int i = digits.size() - 3; i > 0; i -= 3) {
        digits.insert(i, QLatin1Char(' '));
    }
    return digits;
}

std::unique_ptr<QgsLayout> mapPageLayout(QgsProject& project, const StreetAtlasSettings& s,
                                         const PageLayerFacts& facts, const MapPlacement& placed) {
    std::unique_ptr<QgsLayout> layout = newLayout(project, s.paperMillimetres);
    QgsVectorLayer& pages = *s.pages;

    auto map = std::make_unique<QgsLayoutItemMap>(layout.get());
    QgsLayoutItemMap& m = *map;
    layout->addLayoutItem(map.release());  // the layout owns its items
    m.setId(QStringLiteral("Map"));
    m.setCrs(pages.crs());
    m.attemptMove(QgsLayoutPoint(placed.frame.left(), placed.frame.top()));
    m.attemptResize(QgsLayoutSize(placed.frame.width(), placed.frame.height()));
    m.setExtent(facts.first);
    QList<QgsMapLayer*> hidden = s.hiddenLayers;
    hidden.append(&pages);
    m.setKeepLayerSet(true);
    m.setLayers(drawnLayers(project, hidden));
    // The report moves the map to each page: the page's rectangle fills it.
    m.setAtlasDriven(true);
    m.setAtlasScalingMode(QgsLayoutItemMap::Auto);
    m.setAtlasMargin(0.0);
    m.setFrameEnabled(true);
    m.setFrameStrokeColor(QColor(20, 20, 20));
    m.setFrameStrokeWidth(QgsLayoutMeasurement(0.4));
    m.setBackgroundColor(Qt::white);
    if (!s.squareColumns.isEmpty() && !s.squareRows.isEmpty()) {
        addSquares(m, s, facts.first);
    }

    // The header: the page's number large at the right, title and scale at
    // the left.
    const double m0 = s.marginMillimetres;
    const double headerWidth = s.paperMillimetres.width() - 2 * m0;
    const QString number = QgsExpression::quotedColumnRef(s.numberField);
    QgsLayoutItemLabel& pageNumber =
        addLabel(*layout, QStringLiteral("[% %1 %]").arg(number), fontOf(kPageNumberPt, true),
                 Qt::AlignRight, QSizeF(headerWidth / 2, kHeaderMm), QgsLayoutItem::UpperRight,
                 QPointF(m0 + headerWidth, m0));
    pageNumber.setId(QStringLiteral("Page number"));
    QString caption = QStringLiteral("1:%1").arg(scaleNumber(placed.scale));
    if (!s.title.isEmpty()) {
        caption.prepend(s.title + QLatin1Char('\n'));
    }
    QgsLayoutItemLabel& captionLabel =
        addLabel(*layout, caption, fontOf(kCaptionPt, false), Qt::AlignLeft,
                 QSizeF(headerWidth / 2, kHeaderMm), QgsLayoutItem::UpperLeft, QPointF(m0, m0));
    captionLabel.setId(QStringLiteral("Caption"));

    const QRectF& f = placed.frame;
    const double in = kNeighbourInsetMm;
    addNeighbour(*layout, pages, s.northField, QStringLiteral("↑ "), QString(), facts.widestNumber,
                 QgsLayoutItem::UpperMiddle, QPointF(f.center().x(), f.top() + in));
    addNeighbour(*layout, pages, s.eastField, QString(), QStringLiteral(" →"), facts.widestNumber,
                 QgsLayoutItem::MiddleRight, QPointF(f.right() - in, f.center().y()));
    addNeighbour(*layout, pages, s.southField, QStringLiteral("↓ "), QString(), facts.widestNumber,
                 QgsLayoutItem::LowerMiddle, QPointF(f.center().x(), f.bottom() - in));
    addNeighbour(*layout, pages, s.westField, QStringLiteral("← "), QString(), facts.widestNumber,
                 QgsLayoutItem::MiddleLeft, QPointF(f.left() + in, f.center().y()));
    return layout;
}

std::unique_ptr<QgsLayout> titleLayout(QgsProject& project, const StreetAtlasSettings& s) {
    std::unique_ptr<QgsLayout> layout = newLayout(project, s.paperMillimetres);
    const double m = s.marginMillimetres;
    const QSizeF size(s.paperMillimetres.width() - 2 * m, s.paperMillimetres.height() / 3);
    QgsLayoutItemLabel& title = addLabel(
        *layout, s.title, fontOf(kTitlePt, true), Qt::AlignHCenter, size, QgsLayoutItem::Middle,
        QPointF(s.paperMillimetres.width() / 2, s.paperMillimetres.height() / 3));
    title.setId(QStringLiteral("Title"));
    return layout;
}

// The export, page by page: each page of a layout of several pages is handed
// to the exporter on its own (the others excluded meanwhile), so that
// progress and cancellation come between any two pages.
class PageByPage : public QgsAbstractLayoutIterator {
  public:
    PageByPage(QgsAbstractLayoutIterator& inner, int pageCount, const AtlasExportControl& control,
               QgsFeedback& feedback)
        : inner_(inner), pageCount_(pageCount), control_(control), feedback_(feedback) {}
    ~PageByPage() override { restore(); }
    PageByPage(const PageByPage&) = delete;
    PageByPage& operator=(const PageByPage&) = delete;

    QgsLayout* layout() override { return layout_; }
    bool beginRender() override { return inner_.beginRender(); }
    bool endRender() override {
        restore();
        return inner_.endRender();
    }
    int count() const override { return pageCount_; }
    QString filePath(const QString& baseFilePath, const QString& extension) override {
        return inner_.filePath(baseFilePath, extension);
    }

    bool next() override {
        for (;;) {
            if (layout_ && ++current_ < static_cast<int>(pages_.size())) {
                showOnly(current_);
                announce();
                return true;
            }
            restore();
            layout_ = nullptr;
            if (!inner_.next()) {
                return false;
            }
            layout_ = inner_.layout();
            pages_ = exportedPages(*layout_);
            current_ = -1;
        }
    }

    static std::vector<int> exportedPages(QgsLayout& layout) {
        std::vector<int> pages;
        QgsLayoutPageCollection* collection = layout.pageCollection();
        for (int i = 0; i < collection->pageCount(); ++i) {
            if (collection->shouldExportPage(i)) {
                pages.push_back(i);
            }
        }
        return pages;
    }

    int pagesAnnounced() const { return announced_; }
    void rethrowFailure() const {
        if (failure_) {
            std::rethrow_exception(failure_);
        }
    }

  private:
    void showOnly(int index) {
        if (pages_.size() < 2) {
            return;
        }
        QgsLayoutPageCollection* collection = layout_->pageCollection();
        if (excluded_ != layout_) {
            ownSetting_.clear();
            for (const int page : pages_) {
                ownSetting_.push_back(collection->page(page)->excludeFromExports());
            }
            excluded_ = layout_;
        }
        for (size_t k = 0; k < pages_.size(); ++k) {
            collection->page(pages_[k])->setExcludeFromExports(static_cast<int>(k) != index);
        }
    }

    // Gives the pages back their own setting.
    void restore() {
        if (!excluded_) {
            return;
        }
        QgsLayoutPageCollection* collection = excluded_->pageCollection();
        for (size_t k = 0; k < pages_.size(); ++k) {
            collection->page(pages_[k])->setExcludeFromExports(ownSetting_[k]);
        }
        excluded_ = nullptr;
    }

    // A failure of the caller's callbacks must not unwind through the
    // exporter: it stops the export, and comes out once the exporter is done.
    void announce() {
        ++announced_;
        try {
            if (control_.cancelled && control_.cancelled()) {
                feedback_.cancel();  // the exporter stops before drawing the page
                return;
            }
            if (control_.progress) {
                control_.progress(announced_, pageCount_);
            }
        } catch (...) {
            failure_ = std::current_exception();
            feedback_.cancel();
        }
    }

    QgsAbstractLayoutIterator& inner_;
    int pageCount_;
    const AtlasExportControl& control_;
    QgsFeedback& feedback_;
    QgsLayout* layout_ = nullptr;
    QgsLayout* excluded_ = nullptr;
    std::vector<int> pages_;  // the pages of layout_ the exporter would export
    std::vector<bool> ownSetting_;
    int current_ = -1;
    int announced_ = 0;
    std::exception_ptr failure_;
};

int countPages(QgsAbstractLayoutIterator& iterator) {
    if (!iterator.beginRender()) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("the layout's pages cannot be gone through"));
    }
    int pages = 0;
    while (iterator.next()) {
        pages += static_cast<int>(PageByPage::exportedPages(*iterator.layout()).size());
    }
    iterator.endRender();
    return pages;
}

}  // namespace

QgsReport& StreetAtlas::report() const {
    if (!report_) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The street atlas no longer exists."));
    }
    return *report_;
}

QgsPrintLayout& StreetAtlas::indexLayout() const {
    if (!index_) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The street atlas no longer exists."));
    }
    return *index_;
}

StreetAtlas makeStreetAtlas(QgsProject& project, const StreetAtlasSettings& s) {
    if (!s.pages) {
        refuse(QStringLiteral("The street atlas needs a page layer."));
    }
    if (s.name.trimmed().isEmpty()) {
        refuse(QStringLiteral("The street atlas needs a name."));
    }
    if (s.squareColumns.isEmpty() != s.squareRows.isEmpty()) {
        refuse(QStringLiteral("Squares need the names of both their columns and their rows."));
    }
    QgsLayoutManager* manager = project.layoutManager();
    QgsMasterLayoutInterface* old = manager->layoutByName(s.name);
    if (old && old->layoutType() != QgsMasterLayoutInterface::Report) {
        refuse(QStringLiteral("The project's print layout %1 has the street atlas's name: choose "
                              "another name.")
                   .arg(s.name));
    }
    const PageLayerFacts facts = readPages(*s.pages, s.numberField);
    const MapPlacement placed =
        placeMap(s, facts.first, s.pages->crs().mapUnits(), !s.squareColumns.isEmpty());

    auto report = std::make_unique<QgsReport>(&project);
    report->setName(s.name);
    if (!s.title.isEmpty()) {
        report->setHeader(titleLayout(project, s).release());  // the report owns its layouts
        report->setHeaderEnabled(true);
    }
    auto maps = std::make_unique<QgsReportSectionFieldGroup>();
    maps->setLayer(s.pages);
    maps->setField(s.numberField);
    maps->setSortAscending(true);
    maps->setBody(mapPageLayout(project, s, facts, placed).release());
    maps->setBodyEnabled(true);
    report->appendChild(maps.release());

    auto index = std::make_unique<QgsPrintLayout>(&project);
    auto page = std::make_unique<QgsLayoutItemPage>(index.get());
    page->setPageSize(QgsLayoutSize(s.paperMillimetres.width(), s.paperMillimetres.height()));
    index->pageCollection()->addPage(page.release());
    // Named as the report, so that the many labels of an index go in one
    // sweep when the report is removed (see qgis_page_layout.cpp).
    index->setName(s.name);
    QgsPrintLayout& indexLayout = *index;
    auto indexSection = std::make_unique<QgsReportSectionLayout>();
    indexSection->setBody(index.release());
    indexSection->setBodyEnabled(true);
    report->appendChild(indexSection.release());

    if (old) {
        manager->removeLayout(old);
    }
    QgsReport& added = *report;
    if (!manager->addLayout(report.release())) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The street atlas cannot be added to the project."));
    }
    return StreetAtlas(added, indexLayout, facts.count, placed.scale, placed.frame);
}

void exportAtlasPdf(QgsAbstractLayoutIterator& report, const QString& path,
                    const AtlasExportControl& control) {
    try {
        support::ReplacementFile::Naming naming;
        naming.suffix = QByteArrayLiteral(".pdf");
        support::ReplacementFile file(path, naming);
        file.closeDescriptor();
        const int pages = countPages(report);
        QgsFeedback feedback;
        PageByPage iterator(report, pages, control, feedback);
        QString error;
        const QgsLayoutExporter::ExportResult result = QgsLayoutExporter::exportToPdf(
            &iterator, file.temporaryFilePath(), searchablePdfSettings(), error, &feedback);
        iterator.rethrowFailure();
        if (result == QgsLayoutExporter::Canceled || feedback.isCanceled()) {
            throw support::Failure(support::error::kCancelled,
                                   QStringLiteral("The export was cancelled."));
        }
        if (result != QgsLayoutExporter::Success) {
            throw support::Failure(support::error::kWriteFailed,
                                   error.isEmpty() ? QStringLiteral("the exporter failed") : error);
        }
        if (iterator.pagesAnnounced() != pages) {
            throw support::Failure(support::error::kWriteFailed,
                                   QStringLiteral("the pages changed during the export"));
        }
        commitWholePdf(file);
    } catch (const support::Failure& e) {
        if (e.number() == support::error::kCancelled) {
            throw;
        }
        throw exportFailure(e, QStringLiteral("the street atlas"), path);
    }
}

}  // namespace bramlotte::qgishost
