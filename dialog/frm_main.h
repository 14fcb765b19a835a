// The index dialog: one index request, stated as a sentence, and how the
// result is delivered. Its controls carry the names the build reads.
#pragma once

#include "buildrun/build_outcome.h"
#include "buildrun/build_request.h"
#include "export/save_target.h"
#include "index/index_formatting.h"
#include "map/host.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;
class QStringListModel;

namespace bramlotte::dialog {

// What a dialog works with, handed over by the command that opens it.
struct DialogContext {
    std::shared_ptr<host::Application> application;  // its status bar shows the progress
    std::shared_ptr<host::MapDocument> document;     // the map the pickers list
    // What the save dialogs chose last; kept by the command across dialogs.
    std::shared_ptr<exporting::ExportTargets> exportTargets;
};

class frmMain : public QWidget {
    Q_OBJECT
  public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Gives the dialog its map and host; done before the dialog loads.
    void attach(DialogContext context) { context_ = std::move(context); }
    const DialogContext& context() const { return context_; }

    // The dialog's host frame, created, bound and captioned on first use.
    // nullptr when no frame can be created (reported).
    host::HostFrame* Frame();

    // The choices the controls hold now, as the build reads them.
    buildrun::BuildChoices choices() const;
    // How the latest press of "Build Index" ended.
    const buildrun::BuildOutcome& lastOutcome() const { return lastOutcome_; }

    // The hidden result list and the lines it shows.
    index::ResultList& resultList() { return resultList_; }
    // Shows the result list's current lines in lstOut.
    void showResultList();

    // Controls, by the names the build and the scripts use.
    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QGroupBox* Frame3;
    QComboBox* cboSearchLayers;
    QComboBox* cboSearchLayerFields;
    QComboBox* cboRelationship;
    QComboBox* cboMapLayers;
    QComboBox* cboLayerFields;
    QRadioButton* optText;
    QLineEdit* txtSeparator;
    QLineEdit* txtItemSep;
    QRadioButton* optTable;
    QRadioButton* optFields;
    QLabel* lblLayer;
    QComboBox* cboOutputFields;
    QRadioButton* optElement;
    QLineEdit* txtNum;
    QPushButton* btnHelp2;
    QPushButton* btnNext;
    QLabel* txtVersion;
    QRadioButton* optWindow;
    QListView* lstOut;
    QLabel* Picture;

  public slots:
    void Form_Load();
    void cboMapLayers_Click();
    void cboSearchLayers_Change();
    void btnHelp2_Click();
    void btnNext_Click();

  signals:
    // Raised when a press of "Build Index" has ended, whatever its outcome.
    void buildFinished();

  private:
    void buildLayersFrame();
    void buildOutputFrame();
    void buildFooter();

    // Where the dialog opens: centred over the host's window, and a little
    // further down and right for each dialog already standing there.
    QPoint openingPlace() const;

    DialogContext context_;
    std::unique_ptr<host::HostFrame> frame_;
    index::ResultList resultList_;
    buildrun::BuildOutcome lastOutcome_;
    QStringListModel* lstOutModel_;
};

}  // namespace bramlotte::dialog
