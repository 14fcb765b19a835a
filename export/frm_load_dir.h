// The save-location dialog, in its two forms: the table dialog (folder,
// name and delimiter) and the text-file dialog (folder and name). It writes
// nothing; a completed Save hands the target back.
#pragma once

#include "export/save_target.h"

#include <QDialog>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace bramlotte::exporting {

// A folder list: the folder, its parent and its subfolders; choosing one
// makes it the list's path.
class DirectoryList : public QWidget {
    Q_OBJECT
  public:
    explicit DirectoryList(QWidget* parent);
    QString path() const { return path_; }
    // Sets the path; raises changed() when it differs.
    void setPath(const QString& path);
    QListWidget* list() const { return list_; }
  signals:
    void changed();

  protected:
    // Enter on a folder enters it and goes no further: the dialog's default
    // button must not save at the same time.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void refresh();
    QString path_;
    QListWidget* list_;
};

class frmLoadDir : public QDialog {
    Q_OBJECT
  public:
    enum class Kind { Table, TextFile };
    explicit frmLoadDir(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    // Saved: the dialog closed through Save, handing back target().
    bool saved() const { return result() == QDialog::Accepted && target_.has_value(); }
    const SaveTarget& target() const { return *target_; }
    // Whether one of the dialog's handlers failed (and reported it).
    bool failureReported() const { return failureReported_; }

    QComboBox* Drive1;
    DirectoryList* Dir1;
    QListWidget* File1;
    QPushButton* btnSave;
    QPushButton* btnCancel;
    QRadioButton* Option1 = nullptr;  // table dialog only
    QRadioButton* Option2 = nullptr;
    QLineEdit* Text1;
    QLabel* lblExt;

  public slots:
    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void File1_DblClick();
    void Option1_Click();
    void Option2_Click();
    void btnSave_Click();
    void btnCancel_Click();

  private:
    void listFiles();

    Kind kind_;
    std::optional<SaveTarget> target_;
    bool failureReported_ = false;
};

// The two forms.
class frmExportTable : public frmLoadDir {
    Q_OBJECT
  public:
    explicit frmExportTable(QWidget* parent = nullptr) : frmLoadDir(Kind::Table, parent) {}
};

class frmExportFile : public frmLoadDir {
    Q_OBJECT
  public:
    explicit frmExportFile(QWidget* parent = nullptr) : frmLoadDir(Kind::TextFile, parent) {}
};

}  // namespace bramlotte::exporting
