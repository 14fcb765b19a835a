// The index dialog with real widgets (offscreen) on a real map: its load,
// its defaults, its pickers, and the help windows it opens.
#include "dialog/frm_main.h"
#include "map/qgis/desktop/qgis_document.h"
#include "support/addin/addin_state.h"
#include "support/addin/frm_help.h"
#include "support/desktop/scripted_ui_toolkit.h"
#include "tests/testing/test_maps.h"

#include <qgslayertree.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using namespace bramlotte;
using bramlotte::testmaps::memoryLayer;

namespace {

QStringList entries(const QComboBox* c) {
    QStringList l;
    for (int i = 0; i < c->count(); ++i) {
        l << c->itemText(i);
    }
    return l;
}

class FrmMainTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = addInState();
        ui_ = std::make_shared<support::ScriptedUiToolkit>();
        addInState().ui = ui_;
        addInState().productName = "Bramlotte";
        addInState().productVersion = "v2.03";
        document_ = std::make_shared<qgishost::QgisMapDocument>(project_);
    }
    void TearDown() override {
        dialog_.reset();
        addInState() = saved_;
    }
    QgsVectorLayer* add(std::unique_ptr<QgsVectorLayer> layer, QgsLayerTreeGroup* group = nullptr) {
        QgsVectorLayer* raw = layer.get();
        project_.addMapLayer(layer.release(), false);
        (group ? group : project_.layerTreeRoot())->addLayer(raw);
        return raw;
    }
    // A new dialog, named by the add-in and loaded through its frame.
    dialog::frmMain& open() {
        dialog_ = std::make_unique<dialog::frmMain>();
        dialog_->attach({nullptr, document_, nullptr});
        EXPECT_NE(dialog_->Frame(), nullptr);
        return *dialog_;
    }
    void pick(QComboBox* c, const QString& text, void (dialog::frmMain::*handler)()) {
        c->setCurrentIndex(c->findText(text));
        (dialog_.get()->*handler)();
    }

    QgsProject project_;
    std::shared_ptr<qgishost::QgisMapDocument> document_;
    std::shared_ptr<support::ScriptedUiToolkit> ui_;
    std::unique_ptr<dialog::frmMain> dialog_;
    AddInState saved_;
};

}  // namespace

TEST_F(FrmMainTest, LoadFillsBothLayerPickersInWalkOrderAndSetsTheDefaults) {
    add(memoryLayer("streets", "LineString", {"name:string"}, {}));
    add(memoryLayer("table", "None", {"x:integer"}, {}));
    QgsLayerTreeGroup* atlas = project_.layerTreeRoot()->addGroup("atlas");
    add(memoryLayer("pages", "Polygon", {"PAGE:string"}, {}), atlas);
    add(memoryLayer("hidden", "Point", {}, {}), atlas->addGroup("inner"));
    add(memoryLayer("streets", "LineString", {"other:string"}, {}), atlas);

    dialog::frmMain& d = open();
    const QStringList walk = {"streets", "pages", "streets"};
    EXPECT_EQ(entries(d.cboMapLayers), walk);
    EXPECT_EQ(entries(d.cboSearchLayers), walk);
    // Filled, but nothing chosen: the user picks the layer.
    EXPECT_EQ(d.cboMapLayers->currentIndex(), -1);
    EXPECT_EQ(d.cboSearchLayers->currentText(), "");
    EXPECT_EQ(entries(d.cboRelationship),
              (QStringList{"INTERSECT", "ENVELOPE INTERSECTS", "TOUCH", "OVERLAP", "CROSS",
                           "WHOLLY CONTAIN", "ARE WHOLLY CONTAINED BY"}));
    EXPECT_EQ(d.cboRelationship->currentText(), "INTERSECT");
    for (QComboBox* c : {d.cboLayerFields, d.cboSearchLayerFields, d.cboOutputFields}) {
        EXPECT_EQ(c->count(), 0);
    }
    EXPECT_TRUE(d.optText->isChecked());
    EXPECT_FALSE(d.optWindow->isVisible());
    EXPECT_EQ(d.txtSeparator->text(), "...");
    EXPECT_EQ(d.txtItemSep->text(), ",");
    EXPECT_EQ(d.txtNum->text(), "1");
    EXPECT_EQ(d.lblLayer->text(), "");
    EXPECT_EQ(d.txtVersion->text(), "v2.03");
    EXPECT_EQ(d.windowTitle(), "Bramlotte");
    EXPECT_EQ(d.Frame(), d.Frame());  // one frame for the dialog's life
    EXPECT_EQ(ui_->pointerHistory(),
              (std::vector<support::Pointer>{support::Pointer::Wait, support::Pointer::Default}));
    EXPECT_TRUE(ui_->messages().empty());
    // 7125 × 6600 twips at the screen's DPI, centred on the screen.
    EXPECT_EQ(d.width(), (7125 * d.logicalDpiX() + 720) / 1440);
    EXPECT_EQ(d.pos(), QPoint((1280 - d.width()) / 2, (800 - d.height()) / 2));

    // The keyboard walks the sentence, then the outputs, then the buttons.
    const QList<QWidget*> tabOrder = {d.cboSearchLayers, d.cboSearchLayerFields,
                                      d.cboRelationship, d.cboMapLayers,
                                      d.cboLayerFields,  d.optText,
                                      d.txtSeparator,    d.txtItemSep,
                                      d.optTable,        d.optFields,
                                      d.cboOutputFields, d.optElement,
                                      d.txtNum,          d.btnHelp2,
                                      d.btnNext};
    QList<QWidget*> seen;
    QWidget* w = d.cboSearchLayers;
    for (int guard = 0; guard < 200 && seen.size() < tabOrder.size(); ++guard) {
        if (tabOrder.contains(w) && !seen.contains(w)) {
            seen << w;
        }
        w = w->nextInFocusChain();
    }
    EXPECT_EQ(seen, tabOrder);
    EXPECT_EQ(d.cboRelationship->toolTip(),
              "Choose a relationship to define the spatial processing between Layer #1 and "
              "Layer #2");
    EXPECT_EQ(d.btnNext->toolTip(), "Begin processing!");
    EXPECT_EQ(d.optElement->toolTip(), "Place the results in a text element on the Page Layout");
}

TEST_F(FrmMainTest, AnEmptyMapGivesEmptyLayerPickers) {
    dialog::frmMain& d = open();
    EXPECT_EQ(d.cboMapLayers->count(), 0);
    EXPECT_EQ(d.cboSearchLayers->count(), 0);
    EXPECT_EQ(d.cboRelationship->currentText(), "INTERSECT");
}

TEST_F(FrmMainTest, PickingALayerFillsExactlyItsOwnPickers) {
    QgsVectorLayer* streets =
        add(memoryLayer("streets", "LineString", {"name:string", "pages:string"}, {}));
    streets->addExpressionField("upper(\"name\")", QgsField("loud", QVariant::String));
    add(memoryLayer("pages", "Polygon", {"PAGE:string", "N:integer"}, {}));
    dialog::frmMain& d = open();

    pick(d.cboMapLayers, "pages", &dialog::frmMain::cboMapLayers_Click);
    EXPECT_EQ(entries(d.cboLayerFields), (QStringList{"PAGE", "N"}));
    EXPECT_EQ(d.cboLayerFields->currentText(), "");
    EXPECT_EQ(d.cboSearchLayerFields->count(), 0);
    EXPECT_EQ(d.cboOutputFields->count(), 0);
    EXPECT_EQ(d.lblLayer->text(), "");

    pick(d.cboSearchLayers, "streets", &dialog::frmMain::cboSearchLayers_Change);
    EXPECT_EQ(d.lblLayer->text(), "streets");
    EXPECT_EQ(entries(d.cboSearchLayerFields), (QStringList{"name", "pages", "loud"}));
    EXPECT_EQ(entries(d.cboOutputFields), (QStringList{"name", "pages"}));
    EXPECT_EQ(d.cboSearchLayerFields->currentText(), "");
    EXPECT_EQ(entries(d.cboLayerFields), (QStringList{"PAGE", "N"}));  // untouched

    // The layer goes away: its name finds nothing, silently.
    project_.removeMapLayer(streets);
    pick(d.cboSearchLayers, "streets", &dialog::frmMain::cboSearchLayers_Change);
    EXPECT_EQ(d.lblLayer->text(), "streets");
    EXPECT_EQ(d.cboSearchLayerFields->count(), 0);
    EXPECT_EQ(d.cboOutputFields->count(), 0);
    EXPECT_TRUE(ui_->messages().empty());
}

TEST_F(FrmMainTest, TwoLayersOfOneNameGiveTheLaterOnesFields) {
    add(memoryLayer("Roads", "LineString", {"first:string"}, {}));
    add(memoryLayer("roads", "LineString", {"second:string"}, {}),
        project_.layerTreeRoot()->addGroup("g"));
    dialog::frmMain& d = open();
    EXPECT_EQ(entries(d.cboMapLayers), (QStringList{"Roads", "roads"}));
    d.cboMapLayers->setCurrentIndex(0);  // the first entry, the earlier layer
    d.cboMapLayers_Click();
    EXPECT_EQ(entries(d.cboLayerFields), (QStringList{"second"}));
}

TEST_F(FrmMainTest, HelpOpensANewWindowEachTimeAndItsLinksReachTheDesktop) {
    dialog::frmMain& d = open();
    for (int i = 0; i < 3; ++i) {
        d.btnHelp2->click();
    }
    const QList<support::frmHelp*> helps = d.findChildren<support::frmHelp*>();
    ASSERT_EQ(helps.size(), 3);
    for (support::frmHelp* h : helps) {
        EXPECT_TRUE(h->isVisible());
        EXPECT_EQ(h->windowTitle(), "Bramlotte - Help");
    }
    support::frmHelp* help = helps.first();
    help->Label2_Click();
    help->Label3_Click();
    addInState().productName = "Renamed";  // read at the moment of the click
    help->Label4_Click();
    help->Label5_Click();
    EXPECT_EQ(ui_->openedLinks(),
              (QStringList{"http://www.quillmere.example", "mailto:info@quillmere.example",
                           "http://www.quillmere.example/Products/QGIS/Renamed/index.htm",
                           "http://forum.quillmere.example/bramlotte"}));
    EXPECT_EQ(help->Label5->toolTip(), "Visit the Quillmere Forum discussion for this tool");
    EXPECT_EQ(help->Label4->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(help->Label2->font().underline());
}
