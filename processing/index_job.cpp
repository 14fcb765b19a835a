#include "processing/index_job.h"

#include "buildrun/build_run.h"
#include "index/index_formatting.h"
#include "processing/feedback_progress.h"
#include "support/addin_state.h"
#include "support/product.h"
#include "support/scripted_ui_toolkit.h"
#include "support/terminal_progress.h"

#include <qgsexception.h>
#include <qgsprocessingfeedback.h>

#include <QFileInfo>
#include <QThread>

namespace bramlotte::processing {
namespace {

using buildrun::BuildOutcome;
using buildrun::Output;

// Hands the build the algorithm's output path, as a completed save dialog
// would.
class PathSaveChooser : public exporting::SaveChooser {
  public:
    explicit PathSaveChooser(exporting::SaveTarget target) : target_(std::move(target)) {}
    exporting::SaveChoice choose(exporting::SaveKind) override {
        exporting::SaveChoice choice;
        choice.target = target_;
        return choice;
    }

  private:
    exporting::SaveTarget target_;
};

// The add-in's shared state for the length of one run: the error reporter
// writes its report into the run's toolkit and hides the run's progress.
// What was there before comes back afterwards.
class RunState {
  public:
    RunState(std::shared_ptr<support::UiToolkit> ui, std::shared_ptr<support::StatusBar> bar)
        : saved_(addInState()) {
        AddInState& state = addInState();
        if (state.productName.isEmpty()) {  // no command has been created (headless QGIS)
            state.productName = product::kName;
            state.productVersion = product::kVersionText;
        }
        state.ui = std::move(ui);
        state.statusBar = std::move(bar);
    }
    ~RunState() { addInState() = saved_; }
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

  private:
    AddInState saved_;
};

// What one build said: its boxes, and the data source's words after them.
struct Said {
    QStringList messages;
    QStringList details;
    QString text() const {
        QStringList all = messages;
        all << details;
        return all.join(QLatin1Char('\n')).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
};

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

bool sameFeatures(const ChosenLayer& a, const ChosenLayer& b) {
    if (a.layer != b.layer || bool(a.only) != bool(b.only)) {
        return false;
    }
    return !a.only || *a.only == *b.only;
}

void nameLayers(ChosenLayer& layer1, ChosenLayer& layer2) {
    auto own = [](const ChosenLayer& chosen, const QString& otherwise) {
        const QString name = chosen.layer ? chosen.layer->name() : QString();
        return name.trimmed().isEmpty() ? otherwise : name;
    };
    layer1.name = own(layer1, QStringLiteral("Layer #1"));
    layer2.name = own(layer2, QStringLiteral("Layer #2"));
    if (layer1.name.compare(layer2.name, Qt::CaseInsensitive) == 0 &&
        !sameFeatures(layer1, layer2)) {
        layer1.name += QStringLiteral(" (Layer #1)");
        layer2.name += QStringLiteral(" (Layer #2)");
    }
}

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

QStringList RunIndexJob(const IndexJob& job, QgsProcessingFeedback* feedback) {
    requireLayerThread(job.layer1, QStringLiteral("Layer #1"));
    requireLayerThread(job.layer2, QStringLiteral("Layer #2"));
    ChosenLayer layer1 = job.layer1, layer2 = job.layer2;
    nameLayers(layer1, layer2);

    Said said;
    auto ui = std::make_shared<support::ScriptedUiToolkit>();
    ui->setFallbackAnswer(support::Answer::No);  // only the run's own question is answered Yes
    ui->setEcho([&](const support::ScriptedUiToolkit::Message& m) {
        if (m.buttons == support::Buttons::YesNo) {
            if (feedback) {
                feedback->pushInfo(
                    QString(m.text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")) +
                    (m.answer == support::Answer::Yes ? QStringLiteral(" Yes")
                                                      : QStringLiteral(" No")));
            }
        } else {
            said.messages << m.text;
        }
    });
    ui->setNoteEcho([&](const support::ScriptedUiToolkit::Note& n) {
        if (n.kind == support::Notice::Detail) {
            said.details << n.text;
        } else if (feedback) {
            feedback->pushWarning(n.text);
        }
    });
    auto bar =
        std::make_shared<support::SimpleStatusBar>(std::make_unique<FeedbackProgress>(feedback));
    auto& progress = static_cast<FeedbackProgress&>(*bar->progressIndicator());
    const RunState state(ui, bar);

    const KeptSelections selections{layer1.layer, layer2.layer};
    ChosenLayersDocument document({layer1, layer2});
    index::ResultList resultList;
    buildrun::BuildChoices choices;
    choices.columnSeparator = job.columnSeparator;
    choices.itemSeparator = job.itemSeparator;
    choices.columnText = QStringLiteral("1");
    choices.relationship = job.relationship;
    choices.layer1 = layer1.name;
    choices.field1 = job.field1;
    choices.layer2 = layer2.name;
    choices.field2 = job.field2;
    choices.outputField = job.outputField;

    QStringList written;
    auto build = [&](Output output, exporting::SaveTarget target) {
        said = Said();
        choices.output = output;
        if (output == Output::Field) {
            ui->queueAnswer(support::Answer::Yes);  // the user chose the field output
        }
        PathSaveChooser chooser(std::move(target));
        buildrun::BuildContext context{*ui, &document, &progress, chooser, resultList, job.print};
        const auto cancelled = [output] {
            return QgsProcessingException(
                output == Output::Field
                    ? QStringLiteral("Cancelled: no field value was written.")
                    : QStringLiteral("Cancelled: the index file was not written."));
        };
        if (progress.cancelled()) {
            throw cancelled();
        }
        const BuildOutcome outcome = buildrun::BuildIndex(choices, context);
        if (outcome.result != BuildOutcome::Result::Built) {
            if (progress.cancelled()) {
                throw cancelled();
            }
            const QString text = said.text();
            throw QgsProcessingException(text.isEmpty() ? QStringLiteral("The index was not built.")
                                                        : text);
        }
        written << outcome.filesWritten;
    };
    if (!job.outputFile.isEmpty()) {
        const FileOutput file = FileOutputFor(job.outputFile);
        build(file.output, file.target);
    }
    if (!job.outputField.isEmpty()) {
        build(Output::Field, {});
    }
    return written;
}

}  // namespace bramlotte::processing
