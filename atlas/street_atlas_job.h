// The whole street atlas in one PDF: the map pages over a page grid (made on
// paper at a scale, or the user's own pages) drawn by QGIS in the project's
// styles, then the index set on its pages, referring to the printed page
// numbers (or to squares, "12 B3"), in one pass of QGIS's exporter. The
// atlas stays in the project as a QGIS report.
#pragma once

#include "buildrun/build_outcome.h"
#include "buildrun/print_options.h"
#include "map/host.h"
#include "print/page_grid.h"
#include "print/page_squares.h"
#include "support/desktop/progress_indicator.h"
#include "support/desktop/ui_toolkit.h"
#include "support/errors/error_handling.h"

#include <QString>

#include <functional>
#include <optional>

class QgsProject;
class QgsVectorLayer;

namespace bramlotte::atlas {

// A page grid made for the atlas, as `bramlotte grid --only-where-data`
// makes it.
struct PaperGrid {
    print::Paper paper = print::Paper::A4;
    print::Orientation orientation = print::Orientation::Portrait;
    double scale = 10000;
    double overlapMillimetres = 0;
    std::optional<print::SquareDivision> squares;
};

struct AtlasRequest {
    QgsProject* project = nullptr;  // the map, drawn in its styles; the atlas is kept in it
    QgsVectorLayer* streets = nullptr;
    QString streetField;
    // The user's pages, numbered and ordered by their field; none: a grid
    // made on paper, written to `gridFile` and added to the project.
    QgsVectorLayer* pages = nullptr;
    QString pageField;
    PaperGrid grid;
    QString gridFile;
    int16_t columns = 4;
    // The index's print-ready choices (the layout is always fitted).
    buildrun::PrintOptions print;
    QgsVectorLayer* localities = nullptr;
    QString localityField;
    host::LocalityRule localityRule;
    QString title;  // a title page; none when empty
    QString pdf;
    QString name = QStringLiteral("Street atlas");  // the report in the project
};

// What the atlas's making talks to.
struct AtlasContext {
    explicit AtlasContext(support::UiToolkit& desktop) : ui(desktop) {}
    support::UiToolkit& ui;                       // the index build's messages and warnings
    host::ProgressIndicator* progress = nullptr;  // the index build's progress
    support::Reporter reporter;
    const char* procedure = "atlas";
    const char* module = "bramlotte";
    // Told before each page of the PDF is drawn: page (from 1) of pages.
    std::function<void(int page, int pages)> pageProgress;
    // Asked before each page; true stops, and no PDF is written.
    std::function<bool()> cancelled;
};

struct AtlasOutcome {
    bool made = false;
    bool cancelled = false;
    QString failure;               // why it was not made
    buildrun::BuildOutcome index;  // the index build's, with what it said
    int mapPages = 0;
    double mapScale = 0;
    QgsVectorLayer* gridPages = nullptr;  // the grid made and added to the project
    double gridSeconds = 0, indexSeconds = 0, pdfSeconds = 0;
};

AtlasOutcome MakeStreetAtlas(const AtlasRequest& request, AtlasContext& context);

}  // namespace bramlotte::atlas
