// The index dialog: one index request, stated as a sentence, and how the
// result is delivered. Its controls carry the names the build reads.
#pragma once

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

class frmMain : public QWidget {
    Q_OBJECT
  public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // The dialog's host frame, created, bound and captioned on first use.
    // nullptr when no frame can be created (reported).
    host::HostFrame* Frame();

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
    // Raised by btnNext; the build run connects here.
    void buildRequested();

  private:
    void buildLayersFrame();
    void buildOutputFrame();
    void buildFooter();

    std::unique_ptr<host::HostFrame> frame_;
    index::ResultList resultList_;
    QStringListModel* lstOutModel_;
};

}  // namespace bramlotte::dialog
