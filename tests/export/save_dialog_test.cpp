// The save dialogs through the real forms (offscreen): their start state,
// the name rules, the overwrite question, and the files the build writes.
#include "buildrun/build_run.h"
#include "export/frm_load_dir.h"
#include "tests/testing/dialog_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <sys/stat.h>

using namespace bramlotte;
using exporting::frmLoadDir;

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes, mode_t mode = 0644) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

class SaveDialogTest : public testmaps::DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        saveDir_ = dir_.filePath("out");
        QDir().mkpath(saveDir_);
        // Each save: the folder, a name, maybe Tab, then Save (and Cancel
        // when the dialog is still open, as a person giving up would).
        ui_->setFormScript([this](QDialog& form) {
            auto& d = static_cast<frmLoadDir&>(form);
            seen_ = QStringList{d.windowTitle(), d.Text1->text(), d.lblExt->text(),
                                QString(d.Option1 && d.Option1->isChecked() ? "comma" : "-")};
            d.Dir1->setPath(saveDir_);
            d.Text1->setText(name_);
            if (tab_) {
                d.Option2->setChecked(true);
                d.Option2_Click();
            }
            d.btnSave->click();
            if (d.isVisible() || d.result() != QDialog::Accepted) {
                d.btnCancel->click();
            }
            return d.result();
        });
    }
    // Builds to a file named `name`; returns what the build wrote.
    QStringList save(const QString& name, bool table, bool tab = false) {
        name_ = name;
        tab_ = tab;
        (table ? dialog_->optTable : dialog_->optText)->setChecked(true);
        return pressBuildIndex().filesWritten;
    }
    QString saveDir_, name_;
    bool tab_ = false;
    QStringList seen_;  // the dialog's start state: caption, name, extension, option
};

}  // namespace

TEST_F(SaveDialogTest, NameRulesOfBothDialogs) {
    open({testmaps::writeTwoPageTown(dir_.path())});
    chooseLayer1("pages", "PAGE");
    chooseLayer2("streets", "name");
    const QString d = saveDir_ + "/";
    ui_->setFallbackAnswer(support::Answer::Yes);
    EXPECT_EQ(save("Results.csv", true), QStringList{d + "Results.csv"});
    EXPECT_EQ(seen_,
              (QStringList{"Bramlotte - Export Table", "Bramlotte_Output", ".csv", "comma"}));
    EXPECT_EQ(save("Results.txt", true), QStringList{d + "Results.csv"});
    EXPECT_EQ(ui_->messageTexts().last(), "File already exists. Overwrite?");
    EXPECT_EQ(save("a.csv.b", true), QStringList{d + "a.b.csv"});
    EXPECT_EQ(save("Results.CSV", true), QStringList{d + "Results.CSV.csv"});
    EXPECT_EQ(save("", true), QStringList{d + ".csv"});
    EXPECT_EQ(save("Results.csv", true, true), QStringList{d + "Results.txt"});
    // A fresh opening starts from the defaults again.
    EXPECT_EQ(save("x", true), QStringList{d + "x.csv"});
    EXPECT_EQ(seen_,
              (QStringList{"Bramlotte - Export Table", "Bramlotte_Output", ".csv", "comma"}));
    EXPECT_EQ(save("Results.txt", false), QStringList{d + "Results.txt.txt"});
    EXPECT_EQ(seen_,
              (QStringList{"Bramlotte - Export Text File", "Bramlotte_Output", ".txt", "-"}));
}

TEST_F(SaveDialogTest, TheOptionsChangeOnlyTheShownExtension) {
    exporting::frmExportTable form;
    EXPECT_EQ(form.lblExt->text(), ".csv");
    form.Option2->setChecked(true);
    form.Option2_Click();
    EXPECT_EQ(form.lblExt->text(), ".txt");
    EXPECT_EQ(form.Text1->text(), "Bramlotte_Output");
    form.Option1_Click();
    EXPECT_EQ(form.lblExt->text(), ".csv");
    EXPECT_TRUE(form.btnSave->isDefault());
    EXPECT_EQ(form.Dir1->path(), QDir::currentPath());
    EXPECT_GE(form.Drive1->findText("/"), 0);
    // Clicking a file changes nothing.
    form.File1->addItem("other.csv");
    form.File1_Click();
    form.File1_DblClick();
    EXPECT_EQ(form.Text1->text(), "Bramlotte_Output");
    exporting::frmExportFile text;
    EXPECT_EQ(text.Option1, nullptr);
    // The text dialog lists only .txt files.
    writeFile(saveDir_ + "/a.txt", "x");
    writeFile(saveDir_ + "/b.csv", "x");
    text.Dir1->setPath(saveDir_);
    EXPECT_EQ(text.File1->count(), 1);
    form.Dir1->setPath(saveDir_);
    EXPECT_EQ(form.File1->count(), 2);
}

// Every caption of both dialogs fits its control: nothing shows cut off.
TEST_F(SaveDialogTest, CaptionsFitTheirControls) {
    exporting::frmExportTable table;
    exporting::frmExportFile text;
    for (QDialog* form : {static_cast<QDialog*>(&table), static_cast<QDialog*>(&text)}) {
        for (QRadioButton* b : form->findChildren<QRadioButton*>()) {
            EXPECT_LE(b->sizeHint().width(), b->width()) << b->objectName().toStdString();
        }
        for (QPushButton* b : form->findChildren<QPushButton*>()) {
            EXPECT_LT(b->fontMetrics().horizontalAdvance(b->text()), b->width())
                << b->objectName().toStdString();
        }
        for (QLabel* l : form->findChildren<QLabel*>()) {
            EXPECT_LE(l->sizeHint().width(), l->width()) << l->objectName().toStdString();
        }
    }
}

// With the keyboard: Enter on a folder of the list enters it and saves
// nothing; Enter in the name box is Save; Esc is Cancel.
TEST_F(SaveDialogTest, EnterOnAFolderEntersItEnterOnTheNameSaves) {
    QDir().mkpath(saveDir_ + "/sub");
    exporting::frmExportFile form;
    form.Dir1->setPath(saveDir_);
    form.show();
    QListWidget* folders = form.Dir1->list();
    const QList<QListWidgetItem*> sub = folders->findItems("sub", Qt::MatchExactly);
    ASSERT_EQ(sub.size(), 1);
    folders->setFocus();
    folders->setCurrentItem(sub.first());
    QTest::keyClick(folders, Qt::Key_Return);
    EXPECT_EQ(form.Dir1->path(), saveDir_ + "/sub");
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.saved());
    EXPECT_EQ(QDir(saveDir_ + "/sub").entryList(QDir::Files), QStringList());

    QTest::keyClick(form.Text1, Qt::Key_Return);
    ASSERT_TRUE(form.saved());
    EXPECT_EQ(form.target().path, saveDir_ + "/sub/Bramlotte_Output.txt");

    exporting::frmExportTable table;
    table.show();
    QTest::keyClick(&table, Qt::Key_Escape);
    EXPECT_FALSE(table.isVisible());
    EXPECT_FALSE(table.saved());
}

TEST_F(SaveDialogTest, NoThenCancelKeepsTheFileYesReplacesItReadOnlyStays) {
    open({testmaps::writeTwoPageTown(dir_.path())});
    chooseLayer1("pages", "PAGE");
    chooseLayer2("streets", "name");
    const QString target = saveDir_ + "/index.txt";
    writeFile(target, "old");
    ui_->queueAnswer(support::Answer::No);
    EXPECT_TRUE(save("index", false).isEmpty());
    EXPECT_EQ(bytesOf(target), "old");

    ui_->queueAnswer(support::Answer::Yes);
    EXPECT_EQ(save("index", false), QStringList{target});
    EXPECT_EQ(bytesOf(target), "Elm St... A1\r\nMain St... A1, B1\r\nOak Ave... B1\r\n");

    // Read-only: the deletion is refused and reported, the writer will not
    // replace it, and the build reports that too. Nothing changes.
    writeFile(target, "kept", 0444);
    ui_->clearMessages();
    ui_->queueAnswer(support::Answer::Yes);
    EXPECT_TRUE(save("index", false).isEmpty());
    EXPECT_EQ(bytesOf(target), "kept");
    const QStringList shown = ui_->messageTexts();
    ASSERT_EQ(shown.size(), 3);
    EXPECT_TRUE(shown[1].contains("MODULE: fDeleteFile Quillmere_IO"));
    EXPECT_TRUE(shown[2].contains("MODULE: btnNext_Click frmIndex"));
    EXPECT_TRUE(pointerIsDefault());
    EXPECT_FALSE(progress().isVisible());
    EXPECT_EQ(QDir(saveDir_).entryList(QDir::Files | QDir::Hidden), QStringList{"index.txt"});
}

TEST_F(SaveDialogTest, TextInOrderTableInFirstMetOrderQuotedWhereNeeded) {
    const QString path = dir_.filePath("odd.gpkg");
    testmaps::writeGeoPackage(
        *testmaps::memoryLayer("pages", "Polygon", {"PAGE:string"},
                               {{"POLYGON((0 0,10 0,10 10,0 10,0 0))", {"Hill, North"}},
                                {"POLYGON((10 0,20 0,20 10,10 10,10 0))", {"B\"2"}}}),
        path, "pages");
    testmaps::writeGeoPackage(
        *testmaps::memoryLayer("streets", "LineString", {"name:string"},
                               {{"LINESTRING(12 1,13 2)", {"zoo Rd"}},
                                {"LINESTRING(5 5,15 5)", {"Rue Émile de Loth"}},
                                {"LINESTRING(1 1,2 2)", {"Oak\tAve"}}}),
        path, "streets");
    open({path});
    chooseLayer1("pages", "PAGE");
    chooseLayer2("streets", "name");
    ui_->setFallbackAnswer(support::Answer::Yes);
    save("index", false);
    EXPECT_EQ(bytesOf(saveDir_ + "/index.txt"),
              QByteArray("Oak\tAve... Hill, North\r\nRue \xc3\x89mile de Loth... Hill, North, "
                         "B\"2\r\nzoo Rd... B\"2\r\n"));
    save("index", true);
    EXPECT_EQ(bytesOf(saveDir_ + "/index.csv"),
              QByteArray("Rue \xc3\x89mile de Loth,\"Hill, North\",\"B\"\"2\"\r\n"
                         "Oak\tAve,\"Hill, North\"\r\nzoo Rd,\"B\"\"2\"\r\n"));
    save("index", true, true);
    EXPECT_EQ(bytesOf(saveDir_ + "/index.txt"),
              QByteArray("Rue \xc3\x89mile de Loth\tHill, North\t\"B\"\"2\"\r\n"
                         "\"Oak\tAve\"\tHill, North\r\nzoo Rd\t\"B\"\"2\"\r\n"));

    // An empty index gives an empty file.
    chooseLayer2("streets", "name");
    dialog_->cboRelationship->setCurrentIndex(
        dialog_->cboRelationship->findText("ARE WHOLLY CONTAINED BY"));
    save("empty", false);
    EXPECT_EQ(bytesOf(saveDir_ + "/empty.txt"), QByteArray());
}
