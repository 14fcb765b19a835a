// bramlotte: the command-line program. Reads the command line and hands the
// work to cli/commands and cli/build_command.
#include "cli/build_command.h"
#include "cli/commands.h"
#include "cli/standard_output.h"
#include "command/registration.h"
#include "map/qgis/qgis_session.h"
#include "support/product.h"

#include <QTextStream>

#include <cstdio>
#include <map>

namespace {

const char* const kUsage =
    "usage: bramlotte layers MAP...\n"
    "       bramlotte build MAP... --layer1 NAME --field1 NAME --layer2 NAME --field2 NAME\n"
    "               [--relationship NAME] [--output text|table|field|layout|window]\n"
    "               [--column-separator TEXT] [--item-separator TEXT] [--columns TEXT]\n"
    "               [--save-as PATH] [--delimiter comma|tab] [--output-field NAME]\n"
    "               [--yes] [--layout-pdf FILE] [--save-project]\n"
    "       bramlotte demo [DIR]\n"
    "       bramlotte register\n"
    "       bramlotte unregister\n"
    "       bramlotte --help | --version\n";

using bramlotte::cli::BuildOptions;

// Fills `o` from the arguments after "build"; false with a message on error.
bool parseBuild(const QStringList& args, BuildOptions& o, QString& error) {
    const std::map<QString, QString*> required = {
        {"--layer1", &o.layer1}, {"--field1", &o.field1}, {"--layer2", &o.layer2},
        {"--field2", &o.field2}, {"--output", &o.output}, {"--delimiter", &o.delimiter}};
    const std::map<QString, std::optional<QString>*> optional = {
        {"--relationship", &o.relationship},
        {"--column-separator", &o.columnSeparator},
        {"--item-separator", &o.itemSeparator},
        {"--columns", &o.columns},
        {"--save-as", &o.saveAs},
        {"--output-field", &o.outputField},
        {"--layout-pdf", &o.layoutPdf}};
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--yes") {
            o.yes = true;
        } else if (a == "--save-project") {
            o.saveProject = true;
        } else if (required.count(a) || optional.count(a)) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            const QString value = args[++i];
            if (required.count(a)) {
                *required.at(a) = value;
            } else {
                *optional.at(a) = value;
            }
        } else if (a.startsWith("--")) {
            error = "unknown option " + a;
            return false;
        } else {
            o.maps << a;
        }
    }
    if (o.maps.isEmpty()) {
        error = "no map given";
    } else if (o.layer1.isEmpty() || o.field1.isEmpty() || o.layer2.isEmpty() ||
               o.field2.isEmpty()) {
        error = "--layer1, --field1, --layer2 and --field2 are required";
    }
    return error.isEmpty();
}

// The command named by the arguments; what it prints goes to `output`.
int run(int argc, char** argv, QIODevice& output) {
    QTextStream out(&output);
    QTextStream err(stderr);
    if (argc < 2) {
        err << kUsage;
        return bramlotte::cli::kExitUsage;
    }
    const QString command = QString::fromLocal8Bit(argv[1]);
    if (command == "--help") {
        out << kUsage;
        return bramlotte::cli::kExitOk;
    }
    if (command == "--version") {
        out << "bramlotte " << bramlotte::product::kVersionText << "\n";
        return bramlotte::cli::kExitOk;
    }
    if ((command == "register" || command == "unregister") && argc == 2) {
        QString error;
        const QString key = QStringLiteral("libbramlotteplugin");
        const bool ok = command == "register"
                            ? bramlotte::registerPlugin(BRAMLOTTE_PLUGIN_DIR, key, error)
                            : bramlotte::unregisterPlugin(BRAMLOTTE_PLUGIN_DIR, key, error);
        if (!ok) {
            err << error << "\n";
            return bramlotte::cli::kExitFailed;
        }
        out << (command == "register" ? "QGIS will load the Bramlotte plugin from "
                                      : "QGIS will no longer load the Bramlotte plugin from ")
            << BRAMLOTTE_PLUGIN_DIR << " (settings: " << bramlotte::qgisSettingsFile() << ")\n";
        return bramlotte::cli::kExitOk;
    }
    QStringList rest;
    for (int i = 2; i < argc; ++i) {
        rest << QString::fromLocal8Bit(argv[i]);
    }
    BuildOptions build;
    QString error;
    if (command == "build" && !parseBuild(rest, build, error)) {
        err << "bramlotte build: " << error << "\n" << kUsage;
        return bramlotte::cli::kExitUsage;
    }
    bramlotte::qgishost::QgisSession session(argc, argv, true);
    if (command == "layers" && !rest.isEmpty()) {
        return bramlotte::cli::runLayers(rest, out, err);
    }
    if (command == "build") {
        return bramlotte::cli::runBuild(build, out, err);
    }
    if (command == "demo" && rest.size() <= 1) {
        return bramlotte::cli::runDemo(rest.value(0, "bramlotte-demo"), out, err);
    }
    err << kUsage;
    return bramlotte::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    bramlotte::cli::StandardOutput output;
    const int status = run(argc, argv, output);
    const QString lost = output.finish();
    if (!lost.isEmpty()) {
        std::fprintf(stderr, "bramlotte: cannot write standard output: %s\n",
                     lost.toLocal8Bit().constData());
        return bramlotte::cli::kExitFailed;
    }
    return status;
}
