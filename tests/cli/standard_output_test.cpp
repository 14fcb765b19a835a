// Standard output is the program's product: a write to it that fails, as on
// a full device, fails every command.
#include "tests/cli/town_program.h"

#include <QFileInfo>
#include <QTemporaryDir>

using namespace bramlotte::testrun;

namespace {

class StandardOutputFaults : public TownProgramTest {};

}  // namespace

TEST_F(StandardOutputFaults, EveryCommandFailsWhenStandardOutputCannotBeWritten) {
    if (!QFileInfo::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    QTemporaryDir out;
    ChildSetup full;
    full.standardOutput = "/dev/full";
    const QList<QStringList> commands = {
        {"layers", town_},
        build(town_, {"--output", "window"}),
        build(town_, {"--save-as", out.filePath("index")}),
        {"--version"},
        {"--help"},
    };
    for (const QStringList& args : commands) {
        const ChildEnding r = run(args, full);
        EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(
            r.err.endsWith("bramlotte: cannot write standard output: No space left on "
                           "device\n"))
            << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    // Where standard output takes what is written, the same commands succeed.
    EXPECT_EQ(run({"layers", town_}).status, 0);
}
