// The file helpers on a real temporary folder: existence tests, deletion
// that is not forced, folder creation, and failures reported, never thrown.
#include "support/files/quillmere_io.h"
#include "support/addin/addin_state.h"
#include "support/desktop/scripted_ui_toolkit.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/testing/qt_printers.h"

using namespace bramlotte;
using namespace bramlotte::support;

namespace {

class QuillmereIoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = addInState();
        ui_ = std::make_shared<ScriptedUiToolkit>();
        addInState().ui = ui_;
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override { addInState() = saved_; }

    QString file(const QString& name, mode_t mode = 0644) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
        f.close();
        ::chmod(QFile::encodeName(path).constData(), mode);
        return path;
    }
    // The MODULE line of the only box shown.
    QString reportedModule() {
        EXPECT_EQ(ui_->messages().size(), 1u);
        return ui_->messages().empty() ? QString() : ui_->messages()[0].text.split("\r\n")[9];
    }

    QTemporaryDir dir_;
    std::shared_ptr<ScriptedUiToolkit> ui_;
    AddInState saved_;
};

}  // namespace

TEST_F(QuillmereIoTest, ExistenceTestsTellFilesFromFolders) {
    const QString f = file("a.txt");
    EXPECT_TRUE(fDoesFileExist(desktopReporter(), f));
    EXPECT_FALSE(fDoesDirectoryExist(desktopReporter(), f));
    EXPECT_TRUE(fDoesDirectoryExist(desktopReporter(), dir_.path()));
    EXPECT_FALSE(fDoesFileExist(desktopReporter(), dir_.path()));
    EXPECT_FALSE(fDoesFileExist(desktopReporter(), dir_.filePath("missing")));
    EXPECT_FALSE(fDoesFileExist(desktopReporter(), ""));
    EXPECT_FALSE(fDoesFileExist(desktopReporter(), QString("a") + QChar(0) + "b"));
    EXPECT_FALSE(fDoesDirectoryExist(desktopReporter(), dir_.filePath("no/such/folder")));
    EXPECT_TRUE(ui_->messages().empty());
}

TEST_F(QuillmereIoTest, DeletingAMissingFileIsSilentAWritableFileGoes) {
    fDeleteFile(desktopReporter(), dir_.filePath("missing.txt"));
    EXPECT_TRUE(ui_->messages().empty());
    const QString f = file("b.txt");
    fDeleteFile(desktopReporter(), f);
    EXPECT_FALSE(QFile::exists(f));
    EXPECT_TRUE(ui_->messages().empty());
    // A folder is not a file: nothing happens.
    fDeleteFile(desktopReporter(), dir_.path());
    EXPECT_TRUE(QDir(dir_.path()).exists());
}

TEST_F(QuillmereIoTest, AReadOnlyFileIsNotDeletedAndTheFailureIsReported) {
    // Mode bits decide, also for the superuser, who could remove it anyway.
    const QString f = file("ro.txt", 0444);
    EXPECT_FALSE(mayWriteFile(f));
    fDeleteFile(desktopReporter(), f);
    EXPECT_TRUE(QFile::exists(f));
    const QString module = reportedModule();
    EXPECT_TRUE(module.startsWith("MODULE: fDeleteFile Quillmere_IO Line : "))
        << module.toStdString();
    EXPECT_EQ(ui_->messages()[0].text.split("\r\n")[8], "ERROR NUMBER: 70");
    // The report names the file the user may not touch.
    EXPECT_EQ(ui_->messages()[0].text.split("\r\n")[10],
              "ERROR DESCRIPTION: Permission denied: " + f);
}

TEST_F(QuillmereIoTest, CreatesOneFolderOnceAndReportsMissingParents) {
    const QString d = dir_.filePath("new");
    fCreateDirectory(desktopReporter(), d);
    EXPECT_TRUE(fDoesDirectoryExist(desktopReporter(), d));
    EXPECT_TRUE(ui_->messages().empty());
    fCreateDirectory(desktopReporter(), d);
    EXPECT_TRUE(reportedModule().startsWith("MODULE: fCreateDirectory Quillmere_IO"));
    EXPECT_EQ(ui_->messages()[0].text.split("\r\n")[8], "ERROR NUMBER: 58");
    ui_->clearMessages();
    fCreateDirectory(desktopReporter(), dir_.filePath("missing/child"));
    EXPECT_FALSE(QDir(dir_.filePath("missing")).exists());
    EXPECT_EQ(ui_->messages().size(), 1u);
    EXPECT_EQ(ui_->messages()[0].text.split("\r\n")[8], "ERROR NUMBER: 76");
}
