#include "cli/grid_command.h"

#include "cli/commands.h"
#include "map/qgis/program/page_grid_layer.h"
#include "print/page_grid.h"
#include "print/print_error.h"
#include "support/base/failure.h"

#include <qgslayertree.h>
#include <qgsproject.h>

#include <QFileInfo>

namespace bramlotte::cli {
namespace {

// The last vector layer of the map named `name`, without regard to case, as
// the index dialog finds its layers.
QgsVectorLayer* layerNamed(QgsProject& project, const QString& name) {
    QgsVectorLayer* found = nullptr;
    for (QgsLayerTreeLayer* node : project.layerTreeRoot()->findLayers()) {
        auto* layer = qobject_cast<QgsVectorLayer*>(node->layer());
        if (layer && layer->isSpatial() && layer->name().compare(name, Qt::CaseInsensitive) == 0) {
            found = layer;
        }
    }
    return found;
}

std::optional<print::Paper> paperNamed(const QString& name) {
    if (name.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0) {
        return print::Paper::A4;
    }
    if (name.compare(QLatin1String("A3"), Qt::CaseInsensitive) == 0) {
        return print::Paper::A3;
    }
    if (name.compare(QLatin1String("Letter"), Qt::CaseInsensitive) == 0) {
        return print::Paper::Letter;
    }
    return std::nullopt;
}

print::MapRect mapRect(const QgsRectangle& r) {
    return {r.xMinimum(), r.yMinimum(), r.xMaximum(), r.yMaximum()};
}

QgsRectangle rectangle(const print::MapRect& r) {
    return QgsRectangle(r.xMin, r.yMin, r.xMax, r.yMax);
}

}  // namespace

int runGrid(const GridOptions& o, QTextStream& out, QTextStream& err) {
    if (o.cell.has_value() == o.paper.has_value() || (o.paper && !o.scale)) {
        err << "bramlotte grid: give either --cell SIZE or --paper with --scale" << Qt::endl;
        return kExitUsage;
    }
    std::optional<print::Paper> paper;
    if (o.paper && !(paper = paperNamed(*o.paper))) {
        err << "bramlotte grid: --paper takes A4, A3 or Letter" << Qt::endl;
        return kExitUsage;
    }
    if (QFileInfo::exists(o.saveAs) && !o.yes) {
        err << o.saveAs << " already exists; --yes replaces it" << Qt::endl;
        return kExitRefused;
    }
    QgsProject project;
    if (!openMapOrSay(project, o.maps, err)) {
        return kExitUsage;
    }
    QgsVectorLayer* layer = layerNamed(project, o.layer);
    if (!layer) {
        err << "The map has no layer " << o.layer << " with shapes" << Qt::endl;
        return kExitUsage;
    }
    try {
        const print::PageFootprint footprint =
            o.cell ? print::SquarePages(*o.cell, o.overlap)
                   : print::PaperPages(
                         *paper,
                         o.landscape ? print::Orientation::Landscape : print::Orientation::Portrait,
                         *o.scale, o.overlap);
        print::KeepPage keep;
        if (o.onlyWhereData) {
            keep = [layer](const print::MapRect& r) {
                return qgishost::meetsFeatures(*layer, rectangle(r));
            };
        }
        const std::vector<print::GridCell> cells =
            print::PageGrid(mapRect(qgishost::featureExtent(*layer)), footprint, keep);
        std::vector<qgishost::GridPage> pages;
        pages.reserve(cells.size());
        for (const print::GridCell& c : cells) {
            const print::Neighbours& n = c.neighbours;
            pages.push_back({rectangle(c.rect), c.page, c.row, c.column, c.pageNo, n.north, n.east,
                             n.south, n.west});
        }
        std::vector<qgishost::GridSquare> squares;
        if (o.squares) {
            std::vector<print::GridSquare> made = print::GridSquares(cells, *o.squares);
            squares.reserve(made.size());
            for (print::GridSquare& s : made) {
                squares.push_back({rectangle(s.rect), std::move(s.page), s.pageNo,
                                   std::move(s.square), std::move(s.ref)});
            }
        }
        qgishost::writePageGrid(pages, layer->crs(), o.saveAs, o.squares ? &squares : nullptr);
        out << o.saveAs << Qt::endl;
        err << pages.size() << " pages";
        if (o.squares) {
            err << ", " << squares.size() << " squares";
        }
        err << Qt::endl;
    } catch (const print::PrintError& e) {
        err << e.message() << Qt::endl;
        return kExitRefused;
    } catch (const support::Failure& e) {
        err << e.description() << Qt::endl;
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace bramlotte::cli
