// The error box: its exact text, the location with and without a line, the
// progress indicator hidden on every report, and reports with no host.
#include "support/errors/error_handling.h"
#include "support/addin/addin_state.h"
#include "support/base/failure.h"
#include "support/desktop/scripted_ui_toolkit.h"
#include "support/desktop/terminal_progress.h"
#include "support/errors/error_trap.h"

#include <gtest/gtest.h>

#include "tests/testing/qt_printers.h"

using namespace bramlotte;
using namespace bramlotte::support;

namespace {

class ErrorHandlingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = addInState();
        ui_ = std::make_shared<ScriptedUiToolkit>();
        addInState().ui = ui_;
        addInState().productName = "Bramlotte";
        addInState().productVersion = "v2.03";
    }
    void TearDown() override { addInState() = saved_; }
    QStringList shownLines() const {
        EXPECT_EQ(ui_->messages().size(), 1u);
        return ui_->messages().empty() ? QStringList() : ui_->messages().back().text.split("\r\n");
    }
    std::shared_ptr<ScriptedUiToolkit> ui_;
    AddInState saved_;
};

}  // namespace

TEST_F(ErrorHandlingTest, TheWholeBoxForAHostFailure) {
    ReportUnexpectedError(desktopReporter(), "btnNext_Click frmIndex Line : 7",
                          support::error::kFail, "Unspecified");
    ASSERT_EQ(ui_->messages().size(), 1u);
    EXPECT_EQ(ui_->messages()[0].buttons, Buttons::Ok);
    const QString text = ui_->messages()[0].text;
    EXPECT_FALSE(text.endsWith("\r\n"));
    EXPECT_EQ(text.count("\r\n"), 18);
    EXPECT_EQ(text.count("\n"), 18);  // every break is CR LF
    const QStringList expected = {"We're sorry, an unexpected error has occurred.",
                                  "",
                                  "Please email support@quillmere.example and we'll",
                                  "be happy to help out.",
                                  "",
                                  "Please let us know the following:",
                                  "",
                                  "APPLICATION: Bramlotte v2.03",
                                  "ERROR NUMBER: -2147467259",
                                  "MODULE: btnNext_Click frmIndex Line : 7",
                                  "ERROR DESCRIPTION: Unspecified",
                                  "",
                                  "If possible, please attach a screenshot of this",
                                  "message with your QGIS project in the background.",
                                  "You can do this by pressing <CTRL> and <Prnt Screen>",
                                  "and then pasting the image into a graphics application",
                                  "such as Paint. Saving the image as a JPG is preferrable.",
                                  "",
                                  "Thank you!"};
    EXPECT_EQ(text.split("\r\n"), expected);
}

TEST_F(ErrorHandlingTest, LocationLinesAndEmptyDescription) {
    EXPECT_EQ(FormatErrorLine(0), "");
    EXPECT_EQ(FormatErrorLine(7), "Line : 7");
    EXPECT_EQ(FormatErrorLine(-3), "Line : -3");

    // A trap that fails before any marked statement reports line 0.
    const bool completed = BRAMLOTTE_TRAP(
        desktopReporter(), "btnCloseHelp_Click", "frmHelp",
        [](ErrorTrap&) { throw support::Failure(support::error::kFail, QString()); });
    EXPECT_FALSE(completed);
    const QStringList lines = shownLines();
    ASSERT_EQ(lines.size(), 19);
    EXPECT_EQ(lines[9], "MODULE: btnCloseHelp_Click frmHelp ");
    EXPECT_EQ(lines[10], "ERROR DESCRIPTION: ");
}

TEST_F(ErrorHandlingTest, TheFailingStatementsLineCountsFromTheTrap) {
    int reached = 0;
    BRAMLOTTE_TRAP(desktopReporter(), "Form_Load", "frmIndex", [&](ErrorTrap& trap) {
        BRAMLOTTE_LINE(trap);
        ++reached;
        BRAMLOTTE_LINE(trap);
        ++reached;
        BRAMLOTTE_LINE(trap);
        throw support::Failure::fromErrno(ENOSPC, "/tmp/x");
        BRAMLOTTE_LINE(trap);
        ++reached;
    });
    EXPECT_EQ(reached, 2);
    const QStringList lines = shownLines();
    ASSERT_EQ(lines.size(), 19);
    // The failing statement's mark stands five lines below the trap's opening.
    EXPECT_EQ(lines[9], "MODULE: Form_Load frmIndex Line : 5");
    EXPECT_EQ(lines[8], "ERROR NUMBER: 61");
    EXPECT_EQ(lines[10], "ERROR DESCRIPTION: No space left on device");
}

TEST_F(ErrorHandlingTest, ProgressIsHiddenOnEveryReportAndNoHostIsNoObstacle) {
    auto progress = std::make_unique<TerminalProgress>();
    TerminalProgress& shown = *progress;
    addInState().statusBar = std::make_shared<SimpleStatusBar>(std::move(progress));
    shown.show();
    ReportUnexpectedError(desktopReporter(), "x frmIndex ", 5, "d");
    EXPECT_FALSE(shown.isVisible());
    // Reported before any build too: hiding a hidden indicator is harmless.
    ReportUnexpectedError(desktopReporter(), "y frmIndex ", 5, "d");
    EXPECT_EQ(ui_->messages().size(), 2u);

    // Before OnCreate and the first click: no host, empty name and version.
    addInState().statusBar.reset();
    addInState().productName.clear();
    addInState().productVersion.clear();
    ui_->clearMessages();
    ReportUnexpectedError(desktopReporter(), "z frmIndex ", 5, "d");
    EXPECT_EQ(shownLines()[7], "APPLICATION:  ");
}

TEST_F(ErrorHandlingTest, OtherFailuresAreReportedToo) {
    BRAMLOTTE_TRAP(desktopReporter(), "p", "m",
                   [](ErrorTrap&) { throw std::runtime_error("boom"); });
    EXPECT_EQ(shownLines()[10], "ERROR DESCRIPTION: boom");
    EXPECT_EQ(shownLines()[8], "ERROR NUMBER: 51");
    ui_->clearMessages();
    EXPECT_TRUE(BRAMLOTTE_TRAP(desktopReporter(), "p", "m", [](ErrorTrap&) {}));
    EXPECT_TRUE(ui_->messages().empty());
}
