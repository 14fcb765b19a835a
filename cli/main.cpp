// bramlotte: the command-line program. Parses the command line and hands the
// work to cli/commands.
#include "cli/commands.h"
#include "map/qgis/qgis_session.h"

#include <QTextStream>

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "usage: bramlotte layers MAP...\n"
    "       bramlotte demo [DIR]\n"
    "       bramlotte --help | --version\n";

}  // namespace

int main(int argc, char** argv) {
    QTextStream out(stdout);
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
        out << "bramlotte v2.03\n";
        return bramlotte::cli::kExitOk;
    }
    QStringList rest;
    for (int i = 2; i < argc; ++i) {
        rest << QString::fromLocal8Bit(argv[i]);
    }
    bramlotte::qgishost::QgisSession session(argc, argv, true);
    if (command == "layers" && !rest.isEmpty()) {
        return bramlotte::cli::runLayers(rest, out, err);
    }
    if (command == "demo" && rest.size() <= 1) {
        return bramlotte::cli::runDemo(rest.value(0, "bramlotte-demo"), out, err);
    }
    err << kUsage;
    return bramlotte::cli::kExitUsage;
}
