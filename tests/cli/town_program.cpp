#include "tests/cli/town_program.h"

#include "bench/town_generator.h"

#include <QFile>

#include <sys/stat.h>

namespace bramlotte::testrun {

void TownProgramTest::SetUpTestSuite() {
    dir_ = new QTemporaryDir;
    ::chmod(QFile::encodeName(dir_->path()).constData(), 0755);
    town_ = dir_->filePath("town.gpkg");
    bench::TownOptions options;
    options.segments = 20000;
    bench::generateTown(town_.toStdString(), options);
    ::chmod(QFile::encodeName(town_).constData(), 0644);
    // QGIS sets up its profile on a first run: not under a size limit.
    run({"layers", town_});
}

void TownProgramTest::TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
}

QStringList TownProgramTest::build(const QString& map, const QStringList& more) {
    return QStringList{"build", map,        "--layer1", "pages",    "--field1",
                       "PAGE",  "--layer2", "streets",  "--field2", "name"} +
           more;
}

ChildEnding TownProgramTest::run(const QStringList& args, const ChildSetup& setup) {
    return runChild(BRAMLOTTE_CLI, args, setup);
}

}  // namespace bramlotte::testrun
