#include "processing/build_index_algorithm.h"

#include "index/relate.h"
#include "index/street_filing.h"
#include "processing/index_job.h"

#include <qgsexception.h>
#include <qgsprocessingparameters.h>
#include <qgsprocessingprovider.h>

namespace bramlotte::processing {
namespace {

const QString kLayer1 = QStringLiteral("LAYER1");
const QString kField1 = QStringLiteral("FIELD1");
const QString kLayer2 = QStringLiteral("LAYER2");
const QString kField2 = QStringLiteral("FIELD2");
const QString kRelationship = QStringLiteral("RELATIONSHIP");
const QString kColumnSeparator = QStringLiteral("COLUMN_SEPARATOR");
const QString kItemSeparator = QStringLiteral("ITEM_SEPARATOR");
const QString kRanges = QStringLiteral("RANGES");
const QString kHeadings = QStringLiteral("HEADINGS");
const QString kFileUnderName = QStringLiteral("FILE_UNDER_NAME");
const QString kNumericOrder = QStringLiteral("NUMERIC_ORDER");
const QString kLocalities = QStringLiteral("LOCALITIES");
const QString kLocalityField = QStringLiteral("LOCALITY_FIELD");
const QString kLocalityAlways = QStringLiteral("LOCALITY_ALWAYS");
const QString kJoinDistance = QStringLiteral("JOIN_DISTANCE");
const QString kFitPages = QStringLiteral("FIT_PAGES");
const QString kOutputField = QStringLiteral("OUTPUT_FIELD");
const QString kOutput = QStringLiteral("OUTPUT");
const QString kLayout = QStringLiteral("LAYOUT");
const QString kColumns = QStringLiteral("COLUMNS");
const QString kFitLayout = QStringLiteral("FIT_LAYOUT");
const QString kFontSize = QStringLiteral("FONT_SIZE");
const QString kMargin = QStringLiteral("MARGIN");
const QString kLayoutPdf = QStringLiteral("LAYOUT_PDF");

// The vector layer a feature-source parameter names, and the features it
// delivers when it asks for fewer than all (selected features only, a
// feature limit).
ChosenLayer chooseLayer(const QgsProcessingParameterDefinition* definition,
                        const QVariantMap& parameters, QgsProcessingContext& context) {
    QVariant value = parameters.value(definition->name());
    bool fewer = false;
    if (value.canConvert<QgsProcessingFeatureSourceDefinition>()) {
        const auto source = value.value<QgsProcessingFeatureSourceDefinition>();
        fewer = source.selectedFeaturesOnly || source.featureLimit >= 0;
        value = QVariant::fromValue(source.source);
    }
    ChosenLayer chosen;
    chosen.layer = QgsProcessingParameters::parameterAsVectorLayer(definition, value, context);
    if (!chosen.layer) {
        throw QgsProcessingException(QStringLiteral("%1: no vector layer was found for \"%2\".")
                                         .arg(definition->description(), value.toString()));
    }
    if (fewer) {
        const std::unique_ptr<QgsProcessingFeatureSource> source(
            QgsProcessingParameters::parameterAsSource(
                definition, parameters.value(definition->name()), context));
        if (!source) {
            throw QgsProcessingException(
                QStringLiteral("%1: its features cannot be read.").arg(definition->description()));
        }
        chosen.only = std::make_shared<const QgsFeatureIds>(source->allFeatureIds());
    }
    return chosen;
}

QString fieldName(const QgsProcessingAlgorithm& algorithm, const QVariantMap& parameters,
                  const QString& name, QgsProcessingContext& context) {
    return QgsProcessingParameters::parameterAsFields(algorithm.parameterDefinition(name),
                                                      parameters, context)
        .value(0);
}

}  // namespace

QString BuildIndexAlgorithm::displayName() const {
    return QObject::tr("Build location index");
}

QIcon BuildIndexAlgorithm::icon() const {
    return provider() ? provider()->icon() : QgsProcessingAlgorithm::icon();
}

QStringList BuildIndexAlgorithm::tags() const {
    return QObject::tr("street,atlas,index,gazetteer,pages,grid,relate").split(QLatin1Char(','));
}

QString BuildIndexAlgorithm::shortDescription() const {
    return QObject::tr("Lists for every name of one layer the pages of another it meets.");
}

QString BuildIndexAlgorithm::shortHelpString() const {
    return QObject::tr(
        "Builds the index of a street atlas: for every name in a field of Layer #2 (the "
        "streets), the values of a field of Layer #1 (the map pages) whose features stand in "
        "the chosen relationship with it, such as \"Main St... A1, B2\".\n\n"
        "Relationship: a Layer #2 feature relates to a Layer #1 feature when it INTERSECTs "
        "it (shares a point), its box and the page's box meet (ENVELOPE INTERSECTS), it "
        "TOUCHes it, OVERLAPs it, CROSSes it, lies WHOLLY within it (WHOLLY CONTAIN) or "
        "wholly contains it (ARE WHOLLY CONTAINED BY).\n\n"
        "Index file: a file ending in .txt gets one line per name in alphabetical order: the "
        "name, the column separator and the pages joined by the item separator. A file ending "
        "in .csv gets a table separated by commas, one in .tsv a table separated by tabs: a "
        "row per name in the order the names were met, the name and then each page. Page "
        "ranges write three or more pages in a row as one (\"A1-A3\"); letter headings put "
        "the letter before the first name of each letter. Neither changes a table.\n\n"
        "Output field: each Layer #2 feature receives its own pages in this field, all "
        "features or none; a cancelled run writes none. Leave it empty for no field output. "
        "Layout: the index set as text on a print layout of the project, by name (one of that "
        "name is made when missing), in the number of columns asked for. Fitted to the page, "
        "it flows down the columns of the page's printable width (within the margin), wraps "
        "long lines and goes on to new pages, at the font size given; otherwise each column "
        "stands two inches from the next, from the top of the page. The layout can be "
        "exported to a PDF at once.\n\n"
        "Give an index file, an output field, a layout, or any of them together.\n\n"
        "\"Selected features only\" indexes only the selected names, or only the selected "
        "pages; the field output then writes into the selected features only.\n\n"
        "The algorithm runs on QGIS's main thread: QGIS waits while it runs, and its Cancel "
        "button stops it.");
}

QgsProcessingAlgorithm::Flags BuildIndexAlgorithm::flags() const {
    return QgsProcessingAlgorithm::flags() | FlagNoThreading;
}

void BuildIndexAlgorithm::initAlgorithm(const QVariantMap&) {
    const QList<int> anyShapes{QgsProcessing::TypeVectorAnyGeometry};
    addParameter(new QgsProcessingParameterFeatureSource(
        kLayer2, QObject::tr("Layer #2: the layer to index (streets)"), anyShapes));
    addParameter(new QgsProcessingParameterField(kField2, QObject::tr("Layer #2 field: the names"),
                                                 QVariant(), kLayer2));
    addParameter(new QgsProcessingParameterEnum(kRelationship, QObject::tr("Relationship"),
                                                index::relationshipNames(), false, 0));
    addParameter(new QgsProcessingParameterFeatureSource(
        kLayer1, QObject::tr("Layer #1: the layer it is checked against (map pages)"), anyShapes));
    addParameter(new QgsProcessingParameterField(kField1, QObject::tr("Layer #1 field: the pages"),
                                                 QVariant(), kLayer1));
    // Optional only so that an empty separator may be given.
    addParameter(new QgsProcessingParameterString(kColumnSeparator, QObject::tr("Column separator"),
                                                  QStringLiteral("..."), false, true));
    addParameter(new QgsProcessingParameterString(kItemSeparator, QObject::tr("Item separator"),
                                                  QStringLiteral(","), false, true));
    addParameter(
        new QgsProcessingParameterBoolean(kRanges, QObject::tr("Page ranges (A1-A3)"), false));
    addParameter(
        new QgsProcessingParameterBoolean(kHeadings, QObject::tr("Letter headings"), false));
    // The print-ready index's further choices, all optional.
    addParameter(new QgsProcessingParameterString(
        kFileUnderName,
        QObject::tr("File names under the name (\"Paix (Rue de la)\"): a language (%1), auto for "
                    "the locale's, empty for none")
            .arg(index::StreetFiling::languages().join(QStringLiteral(", "))),
        QVariant(), false, true));
    addParameter(new QgsProcessingParameterBoolean(
        kNumericOrder, QObject::tr("Numbers in names in numeric order (2nd before 10th)"), false,
        true));
    addParameter(new QgsProcessingParameterFeatureSource(
        kLocalities, QObject::tr("Localities that tell same-named streets apart"),
        QList<int>{QgsProcessing::TypeVectorPolygon}, QVariant(), true));
    addParameter(new QgsProcessingParameterField(
        kLocalityField, QObject::tr("Localities field: their names"), QVariant(), kLocalities,
        QgsProcessingParameterField::Any, false, true));
    addParameter(new QgsProcessingParameterBoolean(
        kLocalityAlways, QObject::tr("Every street with its locality"), false, true));
    addParameter(new QgsProcessingParameterNumber(
        kJoinDistance, QObject::tr("Segments this close are one street (map units of Layer #2)"),
        QgsProcessingParameterNumber::Double, 0.0, true, 0.0));
    addParameter(new QgsProcessingParameterField(
        kOutputField, QObject::tr("Output field of Layer #2 (field output)"), QVariant(), kLayer2,
        QgsProcessingParameterField::Any, false, true));
    addParameter(new QgsProcessingParameterFileDestination(
        kOutput, QObject::tr("Index file"),
        QObject::tr("Text file (*.txt);;Comma-separated table (*.csv);;Tab-separated table "
                    "(*.tsv)"),
        QVariant(), true));
    addParameter(new QgsProcessingParameterString(
        kLayout, QObject::tr("Print layout for the index (by name; made when missing)"), QVariant(),
        false, true));
    // The layout's choices are optional: a model that makes no layout leaves
    // them out, and their defaults serve.
    addParameter(new QgsProcessingParameterNumber(kColumns, QObject::tr("Columns on the layout"),
                                                  QgsProcessingParameterNumber::Integer, 4, true, 1,
                                                  32767));
    addParameter(new QgsProcessingParameterBoolean(
        kFitLayout, QObject::tr("Fit the index to the layout's pages"), true, true));
    addParameter(new QgsProcessingParameterNumber(kFontSize, QObject::tr("Font size (points)"),
                                                  QgsProcessingParameterNumber::Double, 6.0, true,
                                                  0.5, 1000));
    addParameter(new QgsProcessingParameterNumber(kMargin, QObject::tr("Margin (mm)"),
                                                  QgsProcessingParameterNumber::Double, 10.0, true,
                                                  0, 1000));
    addParameter(new QgsProcessingParameterNumber(
        kFitPages, QObject::tr("Fit the layout to this many pages (0: as many as it takes)"),
        QgsProcessingParameterNumber::Integer, 0, true, 0, 100000));
    addParameter(new QgsProcessingParameterFileDestination(
        kLayoutPdf, QObject::tr("Layout exported as PDF"), QObject::tr("PDF file (*.pdf)"),
        QVariant(), true, false));
}

bool BuildIndexAlgorithm::checkParameterValues(const QVariantMap& parameters,
                                               QgsProcessingContext& context,
                                               QString* message) const {
    if (!QgsProcessingAlgorithm::checkParameterValues(parameters, context, message)) {
        return false;
    }
    auto given = [&](const QString& name) {
        const QVariant v = parameters.value(name);
        return v.isValid() && !v.isNull() &&
               !(v.type() == QVariant::String && v.toString().isEmpty());
    };
    const QStringList field = QgsProcessingParameters::parameterAsFields(
        parameterDefinition(kOutputField), parameters, context);
    const QString layout = parameterAsString(parameters, kLayout, context).trimmed();
    if (!given(kOutput) && field.value(0).isEmpty() && layout.isEmpty()) {
        if (message) {
            *message =
                QObject::tr("Give an index file, an output field, a layout, or any of them.");
        }
        return false;
    }
    if (given(kLayoutPdf) && layout.isEmpty()) {
        if (message) {
            *message = QObject::tr("A layout PDF needs the layout the index is set on.");
        }
        return false;
    }
    return true;
}

QVariantMap BuildIndexAlgorithm::processAlgorithm(const QVariantMap& parameters,
                                                  QgsProcessingContext& context,
                                                  QgsProcessingFeedback* feedback) {
    IndexJob job;
    job.layer1 = chooseLayer(parameterDefinition(kLayer1), parameters, context);
    job.layer2 = chooseLayer(parameterDefinition(kLayer2), parameters, context);
    job.field1 = fieldName(*this, parameters, kField1, context);
    job.field2 = fieldName(*this, parameters, kField2, context);
    job.relationship = *index::relationshipCode(
        index::relationshipNames().value(parameterAsEnum(parameters, kRelationship, context)));
    job.columnSeparator = parameterAsString(parameters, kColumnSeparator, context);
    job.itemSeparator = parameterAsString(parameters, kItemSeparator, context);
    job.print.ranges = parameterAsBoolean(parameters, kRanges, context);
    job.print.headings = parameterAsBoolean(parameters, kHeadings, context);
    job.print.fileUnderName = parameterAsString(parameters, kFileUnderName, context).trimmed();
    if (!job.print.fileUnderName.isEmpty() && job.print.fileUnderName != QLatin1String("auto") &&
        !index::StreetFiling::languages().contains(job.print.fileUnderName)) {
        throw QgsProcessingException(
            QObject::tr("File names under the name takes auto or one of: %1")
                .arg(index::StreetFiling::languages().join(QStringLiteral(", "))));
    }
    job.print.numericOrder = parameterAsBoolean(parameters, kNumericOrder, context);
    if (parameterAsVectorLayer(parameters, kLocalities, context)) {
        job.localities = chooseLayer(parameterDefinition(kLocalities), parameters, context);
        job.localityField = fieldName(*this, parameters, kLocalityField, context);
        job.localityRule.always = parameterAsBoolean(parameters, kLocalityAlways, context);
        job.localityRule.joinDistance = parameterAsDouble(parameters, kJoinDistance, context);
    }
    job.outputField = fieldName(*this, parameters, kOutputField, context);
    job.outputFile = parameterAsFileOutput(parameters, kOutput, context);
    job.layout = parameterAsString(parameters, kLayout, context).trimmed();
    job.columns = static_cast<int16_t>(parameterAsInt(parameters, kColumns, context));
    job.print.fitLayout = parameterAsBoolean(parameters, kFitLayout, context);
    job.print.fontSizePoints = parameterAsDouble(parameters, kFontSize, context);
    job.print.marginMillimetres = parameterAsDouble(parameters, kMargin, context);
    job.print.fitPages = parameterAsInt(parameters, kFitPages, context);
    if (!job.layout.isEmpty()) {
        job.layoutPdf = parameterAsFileOutput(parameters, kLayoutPdf, context);
    }
    QgsProject* project = context.project();
    QgsProject own;  // none of the run's: a layout output has nowhere to stay
    if (!project && !job.layout.isEmpty()) {
        throw QgsProcessingException(
            QObject::tr("The layout output needs a project for its print layout."));
    }
    RunIndexJob(job, project ? *project : own, feedback);
    QVariantMap results;
    if (!job.outputFile.isEmpty()) {
        results.insert(kOutput, job.outputFile);
    }
    if (!job.layout.isEmpty()) {
        results.insert(kLayout, job.layout);
    }
    if (!job.layoutPdf.isEmpty()) {
        results.insert(kLayoutPdf, job.layoutPdf);
    }
    return results;
}

}  // namespace bramlotte::processing
