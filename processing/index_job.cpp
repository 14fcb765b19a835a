#include "processing/index_job.h"

#include "buildrun/build_run.h"
#include "buildrun/validation.h"
#include "map/qgis/desktop/chosen_features.h"
#include "map/qgis/desktop/qgis_document.h"
#include "map/qgis/desktop/qgis_page_layout.h"
#include "processing/feedback_desktop.h"
#include "support/base/failure.h"

#include <qgsexception.h>
#include <qgsprocessingfeedback.h>

#include <QFileInfo>
#include <QThread>

namespace bramlotte::processing {
namespace {

using buildrun::BuildOutcome;
using buildrun::Output;

// The user's selections in the chosen layers, put back when the run ends: a
// field output makes its layer read the data source anew, which empties the
// layer's selection.
class KeptSelections {
  public:
    explicit KeptSelections(std::initializer_list<QgsVectorLayer*> layers) {
        for (QgsVectorLayer* layer : layers) {
            kept_.push_back({layer, layer->selectedFeatureIds()});
        }
    }
    ~KeptSelections() {
        for (const Kept& k : kept_) {
            if (k.layer && k.layer->selectedFeatureIds() != k.ids) {
                k.layer->selectByIds(k.ids);
            }
        }
    }
    KeptSelections(const KeptSelections&) = delete;
    KeptSelections& operator=(const KeptSelections&) = delete;

  private:
    struct Kept {
        QPointer<QgsVectorLayer> layer;
        QgsFeatureIds ids;
    };
    std::vector<Kept> kept_;
};

void requireLayerThread(const ChosenLayer& chosen, const QString& what) {
    if (!chosen.layer) {
        throw QgsProcessingException(QStringLiteral("%1 is not a vector layer.").arg(what));
    }
    if (chosen.layer->thread() != QThread::currentThread()) {
        throw QgsProcessingException(
            QStringLiteral("%1 \"%2\" belongs to another thread: the index is built on the "
                           "thread of its layers.")
                .arg(what, chosen.layer->name()));
    }
}

// What was said, as the algorithm's error: the boxes, then the data
// source's words after them.
QString saidText(const QStringList& messages, const QStringList& details) {
    QStringList all = messages;
    all << details;
    return all.join(QLatin1Char('\n')).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

FileOutput FileOutputFor(const QString& path) {
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    FileOutput file;
    file.target.path = info.absoluteFilePath();
    file.target.folder = info.absolutePath();
    file.target.extension = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    if (suffix == QLatin1String("csv")) {
        file.output = Output::Table;
        file.target.delimiter = QStringLiteral(",");
    } else if (suffix == QLatin1String("tsv")) {
        file.output = Output::Table;
        file.target.delimiter = QStringLiteral("\t");
    }
    return file;
}

QStringList RunIndexJob(const IndexJob& job, QgsProject& project, QgsProcessingFeedback* feedback) {
    requireLayerThread(job.layer1, QStringLiteral("Layer #1"));
    requireLayerThread(job.layer2, QStringLiteral("Layer #2"));
    if (job.localities.layer) {
        requireLayerThread(job.localities, QStringLiteral("The localities layer"));
    }

    FeedbackDesktop desktop(feedback);
    support::ScriptedUiToolkit& ui = desktop.ui;
    FeedbackProgress& progress = desktop.progress();
    qgishost::QgisMapDocument document(project);
    const KeptSelections selections{job.layer1.layer, job.layer2.layer};

    QStringList written;
    auto build = [&](Output output) -> buildrun::BuildRequest {
        buildrun::BuildRequest request;
        request.layer1 = qgishost::chosenFeatures(*job.layer1.layer, job.layer1.only);
        request.layer2 = qgishost::chosenFeatures(*job.layer2.layer, job.layer2.only);
        request.relationship = job.relationship;
        request.columnSeparator = job.columnSeparator;
        request.itemSeparator = job.itemSeparator;
        request.output = output;
        request.outputFieldName = job.outputField;
        request.layoutName = job.layout;
        request.columns = job.columns;
        request.print = job.print;
        if (job.localities.layer) {
            request.localities =
                qgishost::chosenFeatures(*job.localities.layer, job.localities.only);
            request.localityRule = job.localityRule;
        }
        request.overwriteFields = buildrun::Answering::Yes;  // the user chose the field
        return request;
    };
    auto run = [&](buildrun::BuildRequest request) {
        const auto cancelled = [output = request.output] {
            return QgsProcessingException(
                output == Output::Field ? QStringLiteral("Cancelled: no field value was written.")
                : output == Output::Layout
                    ? QStringLiteral("Cancelled: the index was not set on the layout.")
                    : QStringLiteral("Cancelled: the index file was not written."));
        };
        if (progress.cancelled()) {
            throw cancelled();
        }
        ui.clearMessages();
        if (!buildrun::CheckFields(request, job.layer1.layer->name(), job.field1,
                                   job.layer2.layer->name(), job.field2, ui) ||
            (request.localities &&
             !buildrun::CheckLocalities(request, std::move(request.localities),
                                        job.localities.layer->name(), job.localityField, ui))) {
            throw QgsProcessingException(saidText(ui.messageTexts(), {}));
        }
        if (request.output == Output::Field && feedback) {
            feedback->pushInfo(QStringLiteral("All field values in field: %1 will be overwritten.")
                                   .arg(job.outputField));
        }
        buildrun::BuildContext context(ui);
        context.document = &document;
        context.progress = &progress;
        context.reporter = desktop.reporter();
        context.procedure = "processAlgorithm";
        context.module = "bramlotte:buildlocationindex";
        const BuildOutcome outcome = buildrun::RunBuild(std::move(request), context);
        if (outcome.result != BuildOutcome::Result::Built) {
            if (progress.cancelled()) {
                throw cancelled();
            }
            const QString text = saidText(outcome.messages, outcome.details);
            throw QgsProcessingException(text.isEmpty() ? QStringLiteral("The index was not built.")
                                                        : text);
        }
        written << outcome.filesWritten;
    };
    if (!job.outputFile.isEmpty()) {
        const FileOutput file = FileOutputFor(job.outputFile);
        buildrun::BuildRequest request = build(file.output);
        request.file = file.target;
        run(std::move(request));
    }
    if (!job.outputField.isEmpty()) {
        run(build(Output::Field));
    }
    if (!job.layout.isEmpty()) {
        run(build(Output::Layout));
        if (!job.layoutPdf.isEmpty()) {
            try {
                qgishost::exportPageLayoutPdf(project, job.layoutPdf, job.layout);
            } catch (const support::Failure& e) {
                throw QgsProcessingException(e.description());
            }
            written << job.layoutPdf;
        }
    }
    return written;
}

}  // namespace bramlotte::processing
