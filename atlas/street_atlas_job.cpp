#include "atlas/street_atlas_job.h"

#include "atlas/grid_pages.h"
#include "buildrun/build_run.h"
#include "buildrun/validation.h"
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/desktop/qgis_layers.h"
#include "map/qgis/program/street_atlas.h"
#include "print/print_error.h"
#include "support/base/failure.h"

#include <qgsproject.h>
#include <qgsvectorlayer.h>

#include <QElapsedTimer>

namespace bramlotte::atlas {
namespace {

std::unique_ptr<host::Layer> hostLayer(QgsVectorLayer& layer) {
    return qgishost::featureLayerFor(layer);
}

// A table of the grid's GeoPackage, added to the project.
QgsVectorLayer* addGridLayer(QgsProject& project, const QString& file, const QString& table,
                             const QString& name) {
    auto layer = std::make_unique<QgsVectorLayer>(file + QStringLiteral("|layername=") + table,
                                                  name, QStringLiteral("ogr"));
    if (!layer->isValid()) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The page grid %1 cannot be read back.").arg(file));
    }
    return qobject_cast<QgsVectorLayer*>(project.addMapLayer(layer.release()));
}

}  // namespace

AtlasOutcome MakeStreetAtlas(const AtlasRequest& request, AtlasContext& context) {
    AtlasOutcome outcome;
    if (!request.project || !request.streets) {
        outcome.failure = QStringLiteral("The atlas needs a map and its streets.");
        return outcome;
    }
    QgsProject& project = *request.project;
    QElapsedTimer clock;
    clock.start();
    try {
        // The pages: the user's, or a grid over the streets made on paper.
        QgsVectorLayer* pages = request.pages;
        QgsVectorLayer* squares = nullptr;
        QString numberField = request.pageField;
        std::optional<print::SquareDivision> division;
        const QSizeF paper = print::PaperSize(request.grid.paper, request.grid.orientation);
        if (!pages) {
            const print::PageFootprint footprint =
                print::PaperPages(request.grid.paper, request.grid.orientation, request.grid.scale,
                                  request.grid.overlapMillimetres);
            division = request.grid.squares;
            WriteGridOver(*request.streets, footprint, true, division, request.gridFile);
            pages = addGridLayer(project, request.gridFile, QStringLiteral("pages"),
                                 QStringLiteral("Atlas pages"));
            if (division) {
                squares = addGridLayer(project, request.gridFile, QStringLiteral("squares"),
                                       QStringLiteral("Atlas squares"));
            }
            numberField = QStringLiteral("PAGE_NO");
            outcome.gridPages = pages;
        }
        outcome.gridSeconds = clock.restart() / 1000.0;

        qgishost::StreetAtlasSettings settings;
        settings.name = request.name;
        settings.title = request.title;
        settings.pages = pages;
        settings.numberField = numberField;
        settings.paperMillimetres = paper;
        settings.scale = request.pages ? 0.0 : request.grid.scale;
        if (division) {
            for (int c = 1; c <= division->columns; ++c) {
                settings.squareColumns << print::RowLetters(c);
            }
            for (int r = 1; r <= division->rows; ++r) {
                settings.squareRows << QString::number(r);
            }
            settings.hiddenLayers << squares;
        }
        const qgishost::StreetAtlas atlas = qgishost::makeStreetAtlas(project, settings);
        outcome.mapPages = atlas.mapPageCount();
        outcome.mapScale = atlas.mapScale();

        // The index on the atlas's index pages, referring to the printed
        // page numbers, or to the squares.
        buildrun::BuildRequest index;
        QgsVectorLayer& referred = squares ? *squares : *pages;
        index.layer1 = hostLayer(referred);
        index.layer2 = hostLayer(*request.streets);
        index.output = buildrun::Output::Layout;
        index.columns = request.columns;
        index.print = request.print;
        index.print.fitLayout = true;
        if (!buildrun::CheckFields(index, referred.name(),
                                   squares ? QStringLiteral("REF") : numberField,
                                   request.streets->name(), request.streetField, context.ui) ||
            (request.localities && !buildrun::CheckLocalities(index, hostLayer(*request.localities),
                                                              request.localities->name(),
                                                              request.localityField, context.ui))) {
            outcome.failure = QStringLiteral("The index of the atlas was refused.");
            return outcome;
        }
        index.localityRule = request.localityRule;
        qgishost::LayoutDocument document(project, atlas.indexLayout());
        buildrun::BuildContext build(context.ui);
        build.document = &document;
        build.progress = context.progress;
        build.reporter = context.reporter;
        build.procedure = context.procedure;
        build.module = context.module;
        outcome.index = buildrun::RunBuild(std::move(index), build);
        outcome.indexSeconds = clock.restart() / 1000.0;
        if (outcome.index.result != buildrun::BuildOutcome::Result::Built) {
            outcome.failure = QStringLiteral("The index of the atlas could not be built.");
            return outcome;
        }

        qgishost::AtlasExportControl control;
        control.progress = context.pageProgress;
        control.cancelled = context.cancelled;
        qgishost::exportAtlasPdf(atlas.report(), request.pdf, control);
        outcome.pdfSeconds = clock.restart() / 1000.0;
        outcome.made = true;
    } catch (const print::PrintError& e) {
        outcome.failure = e.message();
    } catch (const support::Failure& e) {
        outcome.cancelled = e.number() == support::error::kCancelled;
        outcome.failure = e.description();
    }
    return outcome;
}

}  // namespace bramlotte::atlas
