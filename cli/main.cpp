// bramlotte: the command-line program. Reads the command line and hands the
// work to cli/commands and cli/build_command.
#include "cli/atlas_command.h"
#include "cli/build_command.h"
#include "cli/commands.h"
#include "cli/grid_command.h"
#include "cli/standard_output.h"
#include "cli/usage.h"
#include "command/registration.h"
#include "index/street_filing.h"
#include "map/qgis/program/qgis_session.h"
#include "print/page_squares.h"
#include "print/print_error.h"
#include "support/base/product.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

using bramlotte::cli::BuildOptions;

// The plugin that goes with this program: the one built beside it in the
// build tree, or, for the installed program, the one installed with it.
QString pluginFolder() {
    const QFileInfo program(QStringLiteral("/proc/self/exe"));
    const QString folder = QFileInfo(program.canonicalFilePath()).absolutePath();
    if (folder == QFileInfo(QStringLiteral(BRAMLOTTE_BUILD_DIR)).canonicalFilePath()) {
        return QStringLiteral(BRAMLOTTE_PLUGIN_DIR);
    }
    return QDir::cleanPath(QDir(folder).absoluteFilePath(BRAMLOTTE_INSTALLED_PLUGIN_DIR));
}

// Whether `argument` is --file-under-name[=LANG]: then `language` takes
// LANG ("auto" without one), and `error` a message for a language without
// street types.
bool fileUnderName(const QString& argument, QString& language, QString& error) {
    if (argument != "--file-under-name" && !argument.startsWith("--file-under-name=")) {
        return false;
    }
    language = argument == "--file-under-name" ? QStringLiteral("auto") : argument.mid(18);
    if (language != "auto" && !bramlotte::index::StreetFiling::languages().contains(language)) {
        error = "--file-under-name takes auto or one of " +
                bramlotte::index::StreetFiling::languages().join(", ");
    }
    return true;
}

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
        {"--layout-pdf", &o.layoutPdf},
        {"--layout", &o.layoutName},
        {"--localities", &o.localities},
        {"--locality-field", &o.localityField}};
    // Sizes for the fitted layout: positive numbers, read the same whatever
    // the locale.
    const std::map<QString, double*> sizes = {{"--font-size", &o.print.fontSizePoints},
                                              {"--margin", &o.print.marginMillimetres}};
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--yes") {
            o.yes = true;
        } else if (a == "--save-project") {
            o.saveProject = true;
        } else if (a == "--ranges") {
            o.print.ranges = true;
        } else if (a == "--headings") {
            o.print.headings = true;
        } else if (a == "--layout-fit") {
            o.print.fitLayout = true;
        } else if (a == "--numeric-order") {
            o.print.numericOrder = true;
        } else if (a == "--locality-always") {
            o.localityAlways = true;
        } else if (fileUnderName(a, o.print.fileUnderName, error)) {
            if (!error.isEmpty()) {
                return false;
            }
        } else if (a == "--fit-pages" || a == "--join-distance") {
            bool ok = false;
            const double value = i + 1 < args.size() ? args[i + 1].toDouble(&ok) : 0.0;
            if (a == "--fit-pages" &&
                (!ok || value < 1 || value > 100000 || value != static_cast<int>(value))) {
                error = a + " needs a whole number of pages";
                return false;
            }
            if (a == "--join-distance" && (!ok || !(value >= 0) || value > 1e9)) {
                error = a + " needs a distance of 0 or more, in the streets' map units";
                return false;
            }
            (a == "--fit-pages" ? o.print.fitPages = static_cast<int>(value)
                                : o.joinDistance = value);
            ++i;
        } else if (sizes.count(a)) {
            bool ok = false;
            const double value = i + 1 < args.size() ? args[i + 1].toDouble(&ok) : 0.0;
            if (!ok || !(value > 0) || value > 1000) {
                error = a + " needs a positive number (up to 1000)";
                return false;
            }
            *sizes.at(a) = value;
            ++i;
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
    } else if (o.localities.has_value() != o.localityField.has_value()) {
        error = "--localities and --locality-field go together";
    } else if ((o.localityAlways || o.joinDistance > 0) && !o.localities) {
        error = "--locality-always and --join-distance need --localities";
    } else if (o.print.fitPages > 0 && !o.print.fitLayout) {
        error = "--fit-pages needs --layout-fit";
    }
    return error.isEmpty();
}

// Fills `o` from the arguments after "atlas"; false with a message on error.
bool parseAtlas(const QStringList& args, bramlotte::cli::AtlasOptions& o, QString& error) {
    auto value = [&](int& i) -> std::optional<QString> {
        if (i + 1 >= args.size()) {
            error = args[i] + " needs a value";
            return std::nullopt;
        }
        return args[++i];
    };
    auto number = [&](int& i, double low, double high) -> std::optional<double> {
        const QString name = args[i];
        const std::optional<QString> text = value(i);
        bool ok = false;
        const double n = text ? text->toDouble(&ok) : 0.0;
        if (!text || !ok || !(n >= low) || n > high) {
            error = name + QStringLiteral(" needs a number from %1 to %2").arg(low).arg(high);
            return std::nullopt;
        }
        return n;
    };
    const std::map<QString, QString*> texts = {
        {"--layer2", &o.layer2}, {"--field2", &o.field2}, {"--title", &o.title}, {"--pdf", &o.pdf}};
    const std::map<QString, std::optional<QString>*> options = {
        {"--layer1", &o.layer1},
        {"--field1", &o.field1},
        {"--paper", &o.paper},
        {"--localities", &o.localities},
        {"--locality-field", &o.localityField}};
    for (int i = 0; i < args.size() && error.isEmpty(); ++i) {
        const QString& a = args[i];
        if (texts.count(a)) {
            if (const auto v = value(i)) {
                *texts.at(a) = *v;
            }
        } else if (options.count(a)) {
            if (const auto v = value(i)) {
                *options.at(a) = *v;
            }
        } else if (a == "--scale") {
            o.scale = number(i, 1, 1e9);
        } else if (a == "--overlap") {
            o.overlap = number(i, 0, 1000).value_or(0.0);
        } else if (a == "--columns") {
            o.columns = static_cast<int>(number(i, 1, 100).value_or(1));
        } else if (a == "--join-distance") {
            o.joinDistance = number(i, 0, 1e9).value_or(0.0);
        } else if (a == "--font-size") {
            o.print.fontSizePoints = number(i, 0.5, 1000).value_or(6.0);
        } else if (a == "--squares") {
            if (const auto v = value(i)) {
                try {
                    o.squares = bramlotte::print::ParseSquareDivision(*v);
                } catch (const bramlotte::print::PrintError& e) {
                    error = a + ": " + e.message();
                }
            }
        } else if (a == "--landscape") {
            o.landscape = true;
        } else if (a == "--ranges") {
            o.print.ranges = true;
        } else if (a == "--headings") {
            o.print.headings = true;
        } else if (a == "--numeric-order") {
            o.print.numericOrder = true;
        } else if (a == "--locality-always") {
            o.localityAlways = true;
        } else if (a == "--save-project") {
            o.saveProject = true;
        } else if (fileUnderName(a, o.print.fileUnderName, error)) {
        } else if (a.startsWith("--")) {
            error = "unknown option " + a;
        } else {
            o.maps << a;
        }
    }
    if (error.isEmpty() &&
        (o.maps.isEmpty() || o.layer2.isEmpty() || o.field2.isEmpty() || o.pdf.isEmpty())) {
        error = "a map, --layer2, --field2 and --pdf are required";
    } else if (error.isEmpty() && o.localities.has_value() != o.localityField.has_value()) {
        error = "--localities and --locality-field go together";
    }
    return error.isEmpty();
}

// Fills `o` from the arguments after "grid"; false with a message on error.
bool parseGrid(const QStringList& args, bramlotte::cli::GridOptions& o, QString& error) {
    auto number = [&](int& i, const QString& name) -> std::optional<double> {
        bool ok = false;
        const double value = i + 1 < args.size() ? args[i + 1].toDouble(&ok) : 0.0;
        if (!ok) {
            error = name + " needs a number";
            return std::nullopt;
        }
        ++i;
        return value;
    };
    for (int i = 0; i < args.size() && error.isEmpty(); ++i) {
        const QString& a = args[i];
        if (a == "--layer" || a == "--paper" || a == "--save-as") {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
            } else if (a == "--layer") {
                o.layer = args[++i];
            } else if (a == "--paper") {
                o.paper = args[++i];
            } else {
                o.saveAs = args[++i];
            }
        } else if (a == "--cell") {
            o.cell = number(i, a);
        } else if (a == "--scale") {
            o.scale = number(i, a);
        } else if (a == "--overlap") {
            o.overlap = number(i, a).value_or(0.0);
        } else if (a == "--landscape") {
            o.landscape = true;
        } else if (a == "--only-where-data") {
            o.onlyWhereData = true;
        } else if (a == "--squares") {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
            } else {
                try {
                    o.squares = bramlotte::print::ParseSquareDivision(args[++i]);
                } catch (const bramlotte::print::PrintError& e) {
                    error = a + ": " + e.message();
                }
            }
        } else if (a == "--yes") {
            o.yes = true;
        } else if (a.startsWith("--")) {
            error = "unknown option " + a;
        } else {
            o.maps << a;
        }
    }
    if (error.isEmpty() && (o.maps.isEmpty() || o.layer.isEmpty() || o.saveAs.isEmpty())) {
        error = "a map, --layer and --save-as are required";
    }
    return error.isEmpty();
}

// The command named by the arguments; what it prints goes to `output`.
int run(int argc, char** argv, QIODevice& output) {
    QTextStream out(&output);
    QTextStream err(stderr);
    using bramlotte::cli::commandUsage;
    using bramlotte::cli::overviewUsage;
    if (argc < 2) {
        err << overviewUsage();
        return bramlotte::cli::kExitUsage;
    }
    const QString command = QString::fromLocal8Bit(argv[1]);
    if (command == "--help" || command == "-h") {
        out << overviewUsage();
        return bramlotte::cli::kExitOk;
    }
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            out << commandUsage(command);
            return bramlotte::cli::kExitOk;
        }
    }
    if (command == "--version") {
        out << "bramlotte " << bramlotte::product::kVersionText << "\n";
        return bramlotte::cli::kExitOk;
    }
    if ((command == "register" || command == "unregister") && argc == 2) {
        QString error;
        const QString key = QStringLiteral("libbramlotteplugin");
        const QString folder = pluginFolder();
        const bool ok = command == "register" ? bramlotte::registerPlugin(folder, key, error)
                                              : bramlotte::unregisterPlugin(folder, key, error);
        if (!ok) {
            err << error << "\n";
            return bramlotte::cli::kExitFailed;
        }
        out << (command == "register" ? "QGIS will load the Bramlotte plugin from "
                                      : "QGIS will no longer load the Bramlotte plugin from ")
            << folder << " (settings: " << bramlotte::qgisSettingsFile() << ")\n";
        return bramlotte::cli::kExitOk;
    }
    QStringList rest;
    for (int i = 2; i < argc; ++i) {
        rest << QString::fromLocal8Bit(argv[i]);
    }
    BuildOptions build;
    QString error;
    bramlotte::cli::GridOptions grid;
    bramlotte::cli::AtlasOptions atlas;
    if (command == "atlas" && !parseAtlas(rest, atlas, error)) {
        err << "bramlotte atlas: " << error << "\n" << commandUsage(command);
        return bramlotte::cli::kExitUsage;
    }
    if (command == "grid" && !parseGrid(rest, grid, error)) {
        err << "bramlotte grid: " << error << "\n" << commandUsage(command);
        return bramlotte::cli::kExitUsage;
    }
    if (command == "build" && !parseBuild(rest, build, error)) {
        err << "bramlotte build: " << error << "\n" << commandUsage(command);
        return bramlotte::cli::kExitUsage;
    }
    bramlotte::qgishost::QgisSession session(argc, argv, true,
                                             bramlotte::qgishost::ProviderPlugins::WhenNeeded);
    if (command == "layers" && !rest.isEmpty()) {
        return bramlotte::cli::runLayers(rest, out, err);
    }
    if (command == "build") {
        return bramlotte::cli::runBuild(build, out, err);
    }
    if (command == "grid") {
        return bramlotte::cli::runGrid(grid, out, err);
    }
    if (command == "atlas") {
        return bramlotte::cli::runAtlas(atlas, out, err);
    }
    if (command == "demo" && rest.size() <= 1) {
        return bramlotte::cli::runDemo(rest.value(0, "bramlotte-demo"), out, err);
    }
    err << commandUsage(command);
    return bramlotte::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    // Under a file-size limit (`ulimit -f`) a write past it would end the
    // program on the spot, leaving its temporary file behind; ignored, the
    // write fails with "File too large", which the build reports and cleans
    // up after like any other failed write.
    std::signal(SIGXFSZ, SIG_IGN);
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
