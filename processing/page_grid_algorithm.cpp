#include "processing/page_grid_algorithm.h"

#include "map/qgis/page_grid_layer.h"
#include "print/print_error.h"
#include "processing/grid_pages.h"
#include "support/failure.h"

#include <qgsexception.h>
#include <qgsprocessingparameters.h>
#include <qgsprocessingprovider.h>
#include <qgsunittypes.h>
#include <qgsvectorlayer.h>

#include <algorithm>

namespace bramlotte::processing {
namespace {

const QString kInput = QStringLiteral("INPUT");
const QString kPageSize = QStringLiteral("PAGE_SIZE");
const QString kCellSize = QStringLiteral("CELL_SIZE");
const QString kScale = QStringLiteral("SCALE");
const QString kLandscape = QStringLiteral("LANDSCAPE");
const QString kOverlap = QStringLiteral("OVERLAP");
const QString kOnlyWhereData = QStringLiteral("ONLY_WHERE_DATA");
const QString kOutput = QStringLiteral("OUTPUT");

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
        "north-west). Use the grid as Layer #1 of \"Build location index\" and as the "
        "coverage layer of the atlas that prints the pages.");
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
    addParameter(new QgsProcessingParameterFeatureSink(kOutput, QObject::tr("Page grid"),
                                                       QgsProcessing::TypeVectorPolygon));
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

    std::vector<print::GridCell> cells;
    try {
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
        cells = GridPagesOver(*shapes, footprint,
                              parameterAsBoolean(parameters, kOnlyWhereData, context), feedback);
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
    for (size_t i = 0; i < cells.size(); ++i) {
        if (feedback->isCanceled()) {
            break;
        }
        const print::GridCell& c = cells[i];
        QgsFeature page(fields);
        page.setGeometry(QgsGeometry::fromRect(
            QgsRectangle(c.rect.xMin, c.rect.yMin, c.rect.xMax, c.rect.yMax)));
        QgsAttributes values;
        values << c.page << c.row << c.column << c.pageNo;
        page.setAttributes(values);
        if (!sink->addFeature(page, QgsFeatureSink::FastInsert)) {
            throw QgsProcessingException(writeFeatureError(sink.get(), parameters, kOutput));
        }
        feedback->setProgress(100.0 * static_cast<double>(i + 1) /
                              static_cast<double>(cells.size()));
    }
    feedback->pushInfo(QObject::tr("%n page(s)", nullptr, static_cast<int>(cells.size())));
    return {{kOutput, destination}};
}

}  // namespace bramlotte::processing
