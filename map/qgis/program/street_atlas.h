// The street atlas as one QGIS report: a title page, one map page per page
// of the page grid, then the index pages, kept in the project's layout
// manager (so the report designer opens it and a saved project keeps it)
// and exported to one PDF.
//
// A map page, on paper of `paper` millimetres with `margin` on every side:
//
//   +--------------------------------------------+
//   | title, page name, 1:scale        page no.  |  header strip
//   |      A         B         C         D       |  square letters
//   |  +-------------------+-------------------+ |
//   | 1|                 ↑ 3                   |1|  neighbour numbers at
//   |  |                                       | |  the middle of each edge,
//   | 2|                                       |2|  inside the frame; square
//   |  |← 11        the map          12 →      | |  numbers left and right
//   |  ...                                         |
//   |  +---------------------------------------+ |
//   |      A         B         C         D       |
//   +--------------------------------------------+
//
// The map item shows exactly the page's rectangle (the report moves it from
// page to page, as an atlas does) at the largest size that fits under the
// header and inside the bands of square names, or at 1:`scale` where that
// fits. A grid made for a whole sheet at 1:scale therefore prints a little
// smaller: A4 portrait at 1:10 000 with the 10 mm margin prints at 1:11 667
// with squares (the map 180 mm wide), at 1:11 208 without (265 mm high).
// The squares line up with the `squares` table of the page grid: the page
// cut into equal columns from the west and rows from the north. The map draws the project's visible
// layers, as they are when the atlas is made, in their own styles; the page layer itself (and any
// layer in `hiddenLayers`) is left out, since the frame shows its outline.
#pragma once

#include <qgsprintlayout.h>
#include <qgsproject.h>
#include <qgsreport.h>
#include <qgsvectorlayer.h>

#include <QList>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>

namespace bramlotte::qgishost {

struct StreetAtlasSettings {
    // The report's name in the project's layout manager.
    QString name = QStringLiteral("Street atlas");
    // The title page's text; no title page when empty.
    QString title;
    // The page layer: one map page per feature, in ascending order of
    // `numberField`, whose value is printed as the page's number.
    QgsVectorLayer* pages = nullptr;
    QString numberField = QStringLiteral("PAGE_NO");
    // The neighbours' numbers, printed at the edges; an edge whose field is
    // NULL (or missing from the layer) shows none.
    QString northField = QStringLiteral("NORTH");
    QString eastField = QStringLiteral("EAST");
    QString southField = QStringLiteral("SOUTH");
    QString westField = QStringLiteral("WEST");
    // The names of the squares' columns from the west ("A", "B", …) and of
    // their rows from the north ("1", "2", …), as the page grid named them;
    // both empty for pages without squares.
    QStringList squareColumns;
    QStringList squareRows;
    QSizeF paperMillimetres{210.0, 297.0};
    double marginMillimetres = 10.0;
    // The scale the page grid was made for; 0 prints each page as large as
    // it fits.
    double scale = 0.0;
    // Layers not drawn on the map pages besides the page layer (the
    // squares, say).
    QList<QgsMapLayer*> hiddenLayers;
};

// The atlas made in a project: handles on the report the layout manager
// owns. They throw support::Failure once the report is gone.
class StreetAtlas {
  public:
    StreetAtlas(QgsReport& report, QgsPrintLayout& index, int mapPages, double mapScale,
                const QRectF& mapFrame)
        : report_(&report),
          index_(&index),
          mapPages_(mapPages),
          mapScale_(mapScale),
          mapFrame_(mapFrame) {}

    QgsReport& report() const;
    // The index section's layout: one empty page of the atlas's paper. The
    // caller sets the index on it, adding pages after the first as it needs
    // (LayoutDocument below lets the fitted layout output do that).
    QgsPrintLayout& indexLayout() const;
    int mapPageCount() const { return mapPages_; }
    // The scale the map pages print at, and where the map sits on the
    // paper, in millimetres from its upper-left corner.
    double mapScale() const { return mapScale_; }
    QRectF mapFrame() const { return mapFrame_; }

  private:
    QPointer<QgsReport> report_;
    QPointer<QgsPrintLayout> index_;
    int mapPages_;
    double mapScale_;
    QRectF mapFrame_;
};

// Makes the atlas as a report named settings.name in the project's layout
// manager, replacing a report of that name. Throws support::Failure, the
// project as it was, for settings it cannot use: no page layer or one
// without pages, a number field it lacks, paper too small for a map, a
// name taken by a print layout.
StreetAtlas makeStreetAtlas(QgsProject& project, const StreetAtlasSettings& settings);

struct AtlasExportControl {
    // Told before each page is drawn: page (from 1) of pageCount.
    std::function<void(int page, int pageCount)> progress;
    // Asked before each page; true stops the export.
    std::function<bool()> cancelled;
};

// Exports every page of `report` (or any other layout iterator: an atlas)
// to one PDF at `path` through QGIS's layout exporter, text as text. The PDF
// is complete or absent: written beside `path` and put in its place only
// once whole. Throws support::Failure, `path` as it was and no temporary
// file left, when it cannot, and with support::error::kCancelled when
// cancelled. What the callbacks throw stops the export and comes out of it
// the same way, the PDF not written.
void exportAtlasPdf(QgsAbstractLayoutIterator& report, const QString& path,
                    const AtlasExportControl& control = {});

}  // namespace bramlotte::qgishost
