#include "tests/testing/dialog_fixture.h"

#include "map/qgis/program/map_opener.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace bramlotte::testmaps {

void DialogFixture::SetUp() {
    saved_ = addInState();
    ui_ = std::make_shared<support::ScriptedUiToolkit>();
    addInState().ui = ui_;
    addInState().productName = "Bramlotte";
    addInState().productVersion = "v2.03";
    ASSERT_TRUE(dir_.isValid());
}

void DialogFixture::TearDown() {
    dialog_.reset();
    addInState() = saved_;
    application_.reset();
    document_.reset();
    project_.reset();
}

dialog::frmMain& DialogFixture::open(const QStringList& paths) {
    project_ = std::make_unique<QgsProject>();
    qgishost::openMap(*project_, paths);
    document_ = std::make_shared<qgishost::QgisMapDocument>(*project_);
    application_ = std::make_shared<qgishost::QgisApplication>(
        document_,
        std::make_shared<support::SimpleStatusBar>(std::make_unique<support::TerminalProgress>()));
    addInState().statusBar = application_->statusBar();
    dialog_ = std::make_unique<dialog::frmMain>();
    dialog_->attach({application_, document_, std::make_shared<exporting::ExportTargets>()});
    dialog_->Frame();
    ui_->clearMessages();
    return *dialog_;
}

buildrun::BuildOutcome DialogFixture::pressBuildIndex() {
    QTest::mouseClick(dialog_->btnNext, Qt::LeftButton);
    return dialog_->lastOutcome();
}

void DialogFixture::chooseLayer1(const QString& layer, const QString& field) {
    dialog_->cboMapLayers->setCurrentIndex(dialog_->cboMapLayers->findText(layer));
    dialog_->cboMapLayers_Click();
    dialog_->cboLayerFields->setCurrentIndex(dialog_->cboLayerFields->findText(field));
}

void DialogFixture::chooseLayer2(const QString& layer, const QString& field) {
    dialog_->cboSearchLayers->setCurrentIndex(dialog_->cboSearchLayers->findText(layer));
    dialog_->cboSearchLayers_Change();
    dialog_->cboSearchLayerFields->setCurrentIndex(dialog_->cboSearchLayerFields->findText(field));
}

void DialogFixture::chooseOutputField(const QString& field) {
    dialog_->cboOutputFields->setCurrentIndex(dialog_->cboOutputFields->findText(field));
}

support::TerminalProgress& DialogFixture::progress() {
    return static_cast<support::TerminalProgress&>(*application_->statusBar()->progressIndicator());
}

QString DialogFixture::lastReportedModule() const {
    for (auto it = ui_->messages().rbegin(); it != ui_->messages().rend(); ++it) {
        const QStringList lines = it->text.split("\r\n");
        if (lines.size() == 19) {
            return lines[9];
        }
    }
    return QString();
}

QString writeTwoPageTown(const QString& folder) {
    const QString path = folder + "/town.gpkg";
    auto pages = memoryLayer("pages", "Polygon", {"PAGE:string(10)", "N:integer"},
                             {{"POLYGON((0 0,10 0,10 10,0 10,0 0))", {"A1", 1}},
                              {"POLYGON((10 0,20 0,20 10,10 10,10 0))", {"B1", 2}}});
    auto streets =
        memoryLayer("streets", "LineString",
                    {"name:string(30)", "pages:string(40)", "n:integer", "Shape:string(10)"},
                    {{"LINESTRING(5 5,15 5)", {"Main St", "old", 1, "x"}},
                     {"LINESTRING(1 1,2 2)", {"Elm St", "old", 2, "x"}},
                     {"LINESTRING(12 1,13 2)", {"Oak Ave", "old", 3, "x"}},
                     {"LINESTRING(3 8,4 9)", {"Main St", "old", 4, "x"}},
                     {"LINESTRING(14 8,15 9)", {QVariant(), "old", 5, "x"}}});
    writeGeoPackage(*pages, path, "pages");
    writeGeoPackage(*streets, path, "streets");
    return path;
}

}  // namespace bramlotte::testmaps
