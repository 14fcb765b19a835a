#include "processing/street_atlas_algorithm.h"

#include "atlas/street_atlas_job.h"
#include "index/street_filing.h"
#include "print/page_squares.h"
#include "print/print_error.h"
#include "processing/feedback_desktop.h"

#include <qgsexception.h>
#include <qgsprocessingparameters.h>
#include <qgsprocessingprovider.h>
#include <qgsprocessingutils.h>
#include <qgsproject.h>
#include <qgsvectorlayer.h>

namespace bramlotte::processing {
namespace {

const QString kLayer2 = QStringLiteral("LAYER2");
const QString kField2 = QStringLiteral("FIELD2");
const QString kLayer1 = QStringLiteral("LAYER1");
const QString kField1 = QStringLiteral("FIELD1");
const QString kPaper = QStringLiteral("PAPER");
const QString kScale = QStringLiteral("SCALE");
const QString kLandscape = QStringLiteral("LANDSCAPE");
const QString kOverlap = QStringLiteral("OVERLAP");
const QString kSquares = QStringLiteral("SQUARES");
const QString kColumns = QStringLiteral("COLUMNS");
const QString kRanges = QStringLiteral("RANGES");
const QString kHeadings = QStringLiteral("HEADINGS");
const QString kFileUnderName = QStringLiteral("FILE_UNDER_NAME");
const QString kLocalities = QStringLiteral("LOCALITIES");
const QString kLocalityField = QStringLiteral("LOCALITY_FIELD");
const QString kTitle = QStringLiteral("TITLE");
const QString kOutput = QStringLiteral("OUTPUT");

const print::Paper kPapers[] = {print::Paper::A4, print::Paper::A3, print::Paper::Letter};

}  // namespace

QString StreetAtlasAlgorithm::displayName() const {
    return QObject::tr("Make street atlas");
}

QIcon StreetAtlasAlgorithm::icon() const {
    return provider() ? provider()->icon() : QgsProcessingAlgorithm::icon();
}

QStringList StreetAtlasAlgorithm::tags() const {
    return QObject::tr("atlas,street,index,pdf,report,pages,grid").split(QLatin1Char(','));
}

QString StreetAtlasAlgorithm::shortDescription() const {
    return QObject::tr("Makes the whole street atlas as one PDF: map pages and their index.");
}

QString StreetAtlasAlgorithm::shortHelpString() const {
    return QObject::tr(
        "Makes the street atlas of the project as one PDF: a map page for every page, drawn "
        "in the project's own styles, with its number large in a corner, its neighbours' "
        "numbers at the middle of its edges and, with squares, their letters and numbers "
        "along the map's frame; then the index of the streets on pages of its own, fitted "
        "into columns, referring to the printed page numbers (or to squares, \"12 B3\").\n\n"
        "Pages: the pages of Layer #1, in the order of its field, whose values are printed as "
        "their numbers; or, without Layer #1, a page grid over the streets on the paper at "
        "the map scale, made as \"Make page grid\" makes it with only pages with data, and "
        "added to the project.\n\n"
        "The atlas stays in the project as a report named \"Street atlas\": open it in the "
        "layout manager to restyle it, and export it again. Cancel stops it: no PDF is "
        "written.");
}

QgsProcessingAlgorithm::Flags StreetAtlasAlgorithm::flags() const {
    // The atlas draws the project's layers and adds to its layouts: QGIS's
    // main thread.
    return QgsProcessingAlgorithm::flags() | FlagNoThreading;
}

void StreetAtlasAlgorithm::initAlgorithm(const QVariantMap&) {
    const QList<int> anyShapes{QgsProcessing::TypeVectorAnyGeometry};
    addParameter(
        new QgsProcessingParameterVectorLayer(kLayer2, QObject::tr("Layer #2: the streets"),
                                              QList<int>{QgsProcessing::TypeVectorAnyGeometry}));
    addParameter(
        new QgsProcessingParameterField(kField2, QObject::tr("Street names"), QVariant(), kLayer2));
    addParameter(new QgsProcessingParameterVectorLayer(
        kLayer1, QObject::tr("Layer #1: pages of your own (empty: a page grid is made)"),
        QList<int>{QgsProcessing::TypeVectorPolygon}, QVariant(), true));
    addParameter(new QgsProcessingParameterField(kField1, QObject::tr("Page numbers"), QVariant(),
                                                 kLayer1, QgsProcessingParameterField::Any, false,
                                                 true));
    addParameter(new QgsProcessingParameterEnum(
        kPaper, QObject::tr("Paper"),
        QStringList{QObject::tr("A4"), QObject::tr("A3"), QObject::tr("Letter")}, false, 0, true));
    // The grid's choices are optional: a model that gives its own pages
    // leaves them out.
    addParameter(new QgsProcessingParameterScale(kScale, QObject::tr("Map scale"), 10000.0, true));
    addParameter(
        new QgsProcessingParameterBoolean(kLandscape, QObject::tr("Landscape"), false, true));
    addParameter(new QgsProcessingParameterNumber(kOverlap, QObject::tr("Overlap (mm of paper)"),
                                                  QgsProcessingParameterNumber::Double, 0.0, true,
                                                  0.0));
    addParameter(new QgsProcessingParameterString(
        kSquares, QObject::tr("Squares on each page (columns x rows, such as 4x5)"), QVariant(),
        false, true));
    addParameter(new QgsProcessingParameterNumber(kColumns, QObject::tr("Index columns"),
                                                  QgsProcessingParameterNumber::Integer, 4, true, 1,
                                                  100));
    addParameter(
        new QgsProcessingParameterBoolean(kRanges, QObject::tr("Page ranges (12-14)"), true, true));
    addParameter(
        new QgsProcessingParameterBoolean(kHeadings, QObject::tr("Letter headings"), true, true));
    addParameter(new QgsProcessingParameterString(
        kFileUnderName,
        QObject::tr("File names under the name: a language (%1), auto, or empty for none")
            .arg(index::StreetFiling::languages().join(QStringLiteral(", "))),
        QVariant(), false, true));
    addParameter(new QgsProcessingParameterVectorLayer(
        kLocalities, QObject::tr("Localities that tell same-named streets apart"),
        QList<int>{QgsProcessing::TypeVectorPolygon}, QVariant(), true));
    addParameter(new QgsProcessingParameterField(kLocalityField, QObject::tr("Locality names"),
                                                 QVariant(), kLocalities,
                                                 QgsProcessingParameterField::Any, false, true));
    addParameter(new QgsProcessingParameterString(kTitle, QObject::tr("Title page"), QVariant(),
                                                  false, true));
    addParameter(new QgsProcessingParameterFileDestination(kOutput, QObject::tr("Street atlas"),
                                                           QObject::tr("PDF file (*.pdf)")));
}

QVariantMap StreetAtlasAlgorithm::processAlgorithm(const QVariantMap& parameters,
                                                   QgsProcessingContext& context,
                                                   QgsProcessingFeedback* feedback) {
    QgsProject* project = context.project();
    if (!project) {
        throw QgsProcessingException(QObject::tr("The street atlas needs a project to draw."));
    }
    atlas::AtlasRequest request;
    request.project = project;
    request.streets = parameterAsVectorLayer(parameters, kLayer2, context);
    request.streetField = parameterAsFields(parameters, kField2, context).value(0);
    request.pages = parameterAsVectorLayer(parameters, kLayer1, context);
    request.pageField = parameterAsFields(parameters, kField1, context).value(0);
    if (request.pages && request.pageField.isEmpty()) {
        throw QgsProcessingException(QObject::tr("Pages of your own need their page numbers."));
    }
    request.grid.paper = kPapers[parameterAsEnum(parameters, kPaper, context)];
    request.grid.scale = parameterAsDouble(parameters, kScale, context);
    request.grid.orientation = parameterAsBoolean(parameters, kLandscape, context)
                                   ? print::Orientation::Landscape
                                   : print::Orientation::Portrait;
    request.grid.overlapMillimetres = parameterAsDouble(parameters, kOverlap, context);
    const QString squares = parameterAsString(parameters, kSquares, context).trimmed();
    try {
        if (!squares.isEmpty()) {
            request.grid.squares = print::ParseSquareDivision(squares);
        }
    } catch (const print::PrintError& e) {
        throw QgsProcessingException(e.message());
    }
    request.columns = static_cast<int16_t>(parameterAsInt(parameters, kColumns, context));
    request.print.ranges = parameterAsBoolean(parameters, kRanges, context);
    request.print.headings = parameterAsBoolean(parameters, kHeadings, context);
    request.print.fileUnderName = parameterAsString(parameters, kFileUnderName, context).trimmed();
    request.localities = parameterAsVectorLayer(parameters, kLocalities, context);
    request.localityField = parameterAsFields(parameters, kLocalityField, context).value(0);
    request.title = parameterAsString(parameters, kTitle, context);
    request.pdf = parameterAsFileOutput(parameters, kOutput, context);
    request.gridFile = QgsProcessingUtils::generateTempFilename(QStringLiteral("atlas-pages.gpkg"));

    FeedbackDesktop desktop(feedback);
    atlas::AtlasContext run(desktop.ui);
    run.progress = &desktop.progress();
    run.reporter = desktop.reporter();
    run.procedure = "processAlgorithm";
    run.module = "bramlotte:makestreetatlas";
    run.pageProgress = [feedback](int page, int pages) {
        if (feedback) {
            feedback->setProgressText(QObject::tr("Page %1 of %2").arg(page).arg(pages));
            feedback->setProgress(100.0 * (page - 1) / pages);
        }
    };
    run.cancelled = [feedback] { return feedback && feedback->isCanceled(); };
    const atlas::AtlasOutcome outcome = atlas::MakeStreetAtlas(request, run);
    if (!outcome.made) {
        QStringList said = outcome.index.messages;
        said << outcome.index.details << desktop.ui.messageTexts() << outcome.failure;
        said.removeDuplicates();
        throw QgsProcessingException(outcome.cancelled
                                         ? QObject::tr("Cancelled: no street atlas was written.")
                                         : said.join(QLatin1Char('\n')));
    }
    if (feedback) {
        feedback->pushInfo((outcome.mapPages == 1
                                ? QObject::tr("%1 map page at 1:%2, then the index.")
                                : QObject::tr("%1 map pages at 1:%2, then the index."))
                               .arg(outcome.mapPages)
                               .arg(qRound(outcome.mapScale)));
    }
    QVariantMap results;
    results.insert(kOutput, request.pdf);
    return results;
}

}  // namespace bramlotte::processing
