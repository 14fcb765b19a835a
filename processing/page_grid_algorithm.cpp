#include "processing/page_grid_algorithm.h"

#include "atlas/grid_pages.h"
#include "map/qgis/program/page_grid_layer.h"
#include "print/print_error.h"
#include "support/base/failure.h"

#include <qgsexception.h>
#include <qgsprocessingparameters.h>
#include <qgsprocessingprovider.h>
#include <qgsunittypes.h>
#include <qgsvectorlayer.h>

#include <algorithm>
#include <optional>

namespace bramlotte::processing {
namespace {

const QString kInput = QStringLiteral("INPUT");
const QString kPageSize = QStringLiteral("PAGE_SIZE");
const QString kCellSize = QStringLiteral("CELL_SIZE");
const QString kScale = QStringLiteral("SCALE");
const QString kLandscape = QStringLiteral("LANDSCAPE");
const QString kOverlap = QStringLiteral("OVERLAP");
const QString kOnlyWhereData = QStringLiteral("ONLY_WHERE_DATA");
const QString kSquares = QStringLiteral("SQUARES");
const QString kOutput = QStringLiteral("OUTPUT");
const QString kSquaresOutput = QStringLiteral("SQUARES_OUTPUT");

// The choices of PAGE_SIZE, in order: square cells, then the papers.
const print::Paper kPapers[] = {print::Paper::A4, print::Paper::A3, print::Paper::Letter};

}  // namespace

QString PageGridAlgorithm::displayName() const {
    return QObject::tr("Make page grid");
}

QIcon PageGridAlgorithm::icon() const {
    return provider() ? provider()->icon() : QgsProcessingAlgorithm::icon();
}

QStringList PageGridAlgorithm::tags() const {
    return QObject::tr("atlas,pages,grid,coverage,street,index").split(QLatin1Char(','));
}

QString PageGridAlgorithm::shortDescription() const {
    return QObject::tr("Covers a layer with the map pages of an atlas.");
}

QString PageGridAlgorithm::shortHelpString() const {
    return QObject::tr(
        "Covers the features of a layer with a grid of map pages, from the north-west corner "
        "of their extent, and writes the pages as polygons in the layer's coordinate system.\n\n"
        "Page size: square cells of the cell size in map units, or a sheet of A4, A3 or "
        "Letter paper at the map scale (map units in metres; the whole sheet shows map), "
        "upright or landscape. Neighbouring pages share the overlap: millimetres of paper, or "
        "map units for square cells. \"Only pages with data\" keeps only the pages that share "
        "a point with a feature.\n\n"
        "Fields: PAGE (\"C12\": rows lettered from the north, columns numbered from the "
        "west), ROW, COL and PAGE_NO (the pages kept, counted row by row from the "
        "north-west), then NORTH, EAST, SOUTH and WEST: the PAGE_NO of the neighbouring "
        "page on that side, NULL at the grid's edge or where that page was left out. Use the "
        "grid as Layer #1 of \"Build location index\" and as the coverage layer of the atlas "
        "that prints the pages.\n\n"
        "Squares (\"4x5\": columns x rows, each from 1 to 1000; empty for none) cuts every "
        "page into squares, columns lettered from the west (A … Z, AA) and rows numbered from "
        "the north, into the second output, Squares: PAGE and PAGE_NO of their page, SQUARE "
        "(\"B3\") and REF (\"12 B3\": the page number, a space, the square), page by page, "
        "row by row from the north, west to east. Index against Squares with the field REF "
        "(ranges then read \"12 B3-D3\").");
}

void PageGridAlgorithm::initAlgorithm(const QVariantMap&) {
    addParameter(new QgsProcessingParameterFeatureSource(
        kInput, QObject::tr("Layer to cover"), QList<int>{QgsProcessing::TypeVectorAnyGeometry}));
    addParameter(new QgsProcessingParameterEnum(
        kPageSize, QObject::tr("Page size"),
        QStringList{QObject::tr("Square cells"), QObject::tr("A4 paper"), QObject::tr("A3 paper"),
                    QObject::tr("Letter paper")},
        false, 1));
    auto* cell = new QgsProcessingParameterDistance(
        kCellSize, QObject::tr("Cell size (square cells)"), 1000.0, kInput, false, 0.0);
    addParameter(cell);
    addParameter(
        new QgsProcessingParameterScale(kScale, QObject::tr("Map scale (paper)"), 10000.0));
    addParameter(new QgsProcessingParameterBoolean(kLandscape, QObject::tr("Landscape"), false));
    addParameter(new QgsProcessingParameterNumber(
        kOverlap, QObject::tr("Overlap (mm of paper; map units for square cells)"),
        QgsProcessingParameterNumber::Double, 0.0, false, 0.0));
    addParameter(new QgsProcessingParameterBoolean(kOnlyWhereData,
                                                   QObject::tr("Only pages with data"), false));
    addParameter(new QgsProcessingParameterString(
        kSquares, QObject::tr("Squares on each page (columns x rows, such as 4x5)"), QVariant(),
        false, true));
    addParameter(new QgsProcessingParameterFeatureSink(kOutput, QObject::tr("Page grid"),
                                                       QgsProcessing::TypeVectorPolygon));
    // Optional, and skipped unless asked for; a model that reads it in a
    // later step asks for it.
    addParameter(new QgsProcessingParameterFeatureSink(kSquaresOutput, QObject::tr("Squares"),
                                                       QgsProcessing::TypeVectorPolygon, QVariant(),
                                                       true, false));
}

QVariantMap PageGridAlgorithm::processAlgorithm(const QVariantMap& parameters,
                                                QgsProcessingContext& context,
                                                QgsProcessingFeedback* feedback) {
    QgsProcessingFeedback silent;
    if (!feedback) {
        feedback = &silent;
    }
    const std::unique_ptr<QgsProcessingFeatureSource> source(
        parameterAsSource(parameters, kInput, context));
    if (!source) {
        throw QgsProcessingException(invalidSourceError(parameters, kInput));
    }
    const int size = parameterAsEnum(parameters, kPageSize, context);
    const double overlap = parameterAsDouble(parameters, kOverlap, context);
    const QgsCoordinateReferenceSystem crs = source->sourceCrs();

    const QString squaresText = parameterAsString(parameters, kSquares, context).trimmed();
    const bool squaresAsked =
        !parameterAsOutputLayer(parameters, kSquaresOutput, context).isEmpty();
    if (squaresText.isEmpty() && squaresAsked) {
        throw QgsProcessingException(
            QObject::tr("The squares output needs squares: give Squares as columns x rows, such "
                        "as 4x5."));
    }

    std::vector<print::GridCell> cells;
    std::vector<print::GridSquare> squares;
    try {
        std::optional<print::SquareDivision> division;
        if (!squaresText.isEmpty()) {
            division = print::ParseSquareDivision(squaresText);
        }
        print::PageFootprint footprint;
        if (size <= 0) {
            footprint =
                print::SquarePages(parameterAsDouble(parameters, kCellSize, context), overlap);
        } else {
            if (crs.isValid() && crs.mapUnits() != QgsUnitTypes::DistanceMeters) {
                feedback->pushWarning(
                    QObject::tr("Paper pages take map units for metres; this layer's are %1.")
                        .arg(QgsUnitTypes::toString(crs.mapUnits())));
            }
            footprint = print::PaperPages(kPapers[std::min(size, 3) - 1],
                                          parameterAsBoolean(parameters, kLandscape, context)
                                              ? print::Orientation::Landscape
                                              : print::Orientation::Portrait,
                                          parameterAsDouble(parameters, kScale, context), overlap);
        }
        // The features' shapes, copied here: the grid is read from a layer of
        // this thread, whichever thread the source's layer lives in.
        QgsFeatureRequest shapesOnly;
        shapesOnly.setNoAttributes();
        const std::unique_ptr<QgsVectorLayer> shapes(source->materialize(shapesOnly, feedback));
        if (!shapes || feedback->isCanceled()) {
            throw QgsProcessingException(QStringLiteral("Cancelled: no page grid was made."));
        }
        cells = atlas::GridPagesOver(
            *shapes, footprint, parameterAsBoolean(parameters, kOnlyWhereData, context),
            [feedback] {
                if (feedback && feedback->isCanceled()) {
                    throw QgsProcessingException(
                        QStringLiteral("Cancelled: no page grid was made."));
                }
            });
        if (division && squaresAsked) {
            squares = print::GridSquares(cells, *division);
        } else if (division) {
            feedback->pushWarning(
                QObject::tr("No output for the squares was asked for: they are not written."));
        }
    } catch (const print::PrintError& e) {
        throw QgsProcessingException(e.message());
    } catch (const support::Failure& e) {
        throw QgsProcessingException(e.description());
    }

    QString destination;
    const std::unique_ptr<QgsFeatureSink> sink(
        parameterAsSink(parameters, kOutput, context, destination, qgishost::pageGridFields(),
                        QgsWkbTypes::Polygon, crs));
    if (!sink) {
        throw QgsProcessingException(invalidSinkError(parameters, kOutput));
    }
    const QgsFields fields = qgishost::pageGridFields();
    const double total = static_cast<double>(cells.size() + squares.size());
    for (size_t i = 0; i < cells.size() && !feedback->isCanceled(); ++i) {
        QgsFeature page = qgishost::pageFeature(atlas::GridPageOf(cells[i]), fields);
        if (!sink->addFeature(page, QgsFeatureSink::FastInsert)) {
            throw QgsProcessingException(writeFeatureError(sink.get(), parameters, kOutput));
        }
        feedback->setProgress(100.0 * static_cast<double>(i + 1) / total);
    }
    feedback->pushInfo(QObject::tr("%n page(s)", nullptr, static_cast<int>(cells.size())));
    QVariantMap results{{kOutput, destination}};
    if (!squaresAsked) {
        return results;
    }

    const QgsFields squareFields = qgishost::gridSquareFields();
    QString squaresDestination;
    const std::unique_ptr<QgsFeatureSink> squaresSink(
        parameterAsSink(parameters, kSquaresOutput, context, squaresDestination, squareFields,
                        QgsWkbTypes::Polygon, crs));
    if (!squaresSink) {
        throw QgsProcessingException(invalidSinkError(parameters, kSquaresOutput));
    }
    for (size_t i = 0; i < squares.size() && !feedback->isCanceled(); ++i) {
        QgsFeature square = qgishost::squareFeature(atlas::GridSquareOf(squares[i]), squareFields);
        if (!squaresSink->addFeature(square, QgsFeatureSink::FastInsert)) {
            throw QgsProcessingException(
                writeFeatureError(squaresSink.get(), parameters, kSquaresOutput));
        }
        feedback->setProgress(100.0 * static_cast<double>(cells.size() + i + 1) / total);
    }
    feedback->pushInfo(QObject::tr("%n square(s)", nullptr, static_cast<int>(squares.size())));
    results.insert(kSquaresOutput, squaresDestination);
    return results;
}

}  // namespace bramlotte::processing
