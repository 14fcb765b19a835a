#include "cli/grid_command.h"

#include "atlas/grid_pages.h"
#include "cli/commands.h"
#include "print/page_grid.h"
#include "print/print_error.h"
#include "support/base/failure.h"

#include <qgslayertree.h>
#include <qgsproject.h>

#include <QFileInfo>

namespace bramlotte::cli {
namespace {}  // namespace

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
        const atlas::GridWritten written =
            atlas::WriteGridOver(*layer, footprint, o.onlyWhereData, o.squares, o.saveAs);
        out << o.saveAs << Qt::endl;
        err << written.pages << " pages";
        if (o.squares) {
            err << ", " << written.squares << " squares";
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
