// "Build Index" through the real dialog on real GeoPackage layers: every
// check's message in order, field output all or nothing, the failure paths,
// and the pointer and progress indicator after every way out.
#include "buildrun/build_run.h"
#include "buildrun/validation.h"
#include "tests/testing/dialog_fixture.h"

#include <qgsfeatureiterator.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QStringListModel>

using namespace bramlotte;
using Result = buildrun::BuildOutcome::Result;

namespace {

class BuildRunTest : public testmaps::DialogFixture {
  protected:
    // A dialog over the two-page town, Layer #1 pages/PAGE, Layer #2 streets/name.
    dialog::frmMain& ready() {
        town_ = testmaps::writeTwoPageTown(dir_.path());
        dialog::frmMain& d = open({town_});
        chooseLayer1("pages", "PAGE");
        chooseLayer2("streets", "name");
        return d;
    }
    buildrun::BuildOutcome build() { return pressBuildIndex(); }
    // What a build shows, ending with every path's tidy state checked.
    QStringList refusal() {
        ui_->clearMessages();
        const buildrun::BuildOutcome outcome = build();
        EXPECT_TRUE(pointerIsDefault());
        EXPECT_FALSE(progress().isVisible());
        return ui_->messageTexts();
    }
    // Column `field` of the streets, read from the file anew.
    QStringList savedStreets(const QString& field) {
        QgsVectorLayer layer(town_ + "|layername=streets", "check", "ogr");
        QStringList values;
        QgsFeature f;
        for (auto it = layer.getFeatures(); it.nextFeature(f);) {
            values << f.attribute(field).toString();
        }
        return values;
    }
    QStringList lstOutLines() {
        return static_cast<QStringListModel*>(dialog_->lstOut->model())->stringList();
    }
    QString town_;
};

}  // namespace

TEST_F(BuildRunTest, ColumnChecksOnlyForTheLayoutAndHalvesToEven) {
    dialog::frmMain& d = ready();
    d.optElement->setChecked(true);
    d.txtNum->setText("abc");
    EXPECT_EQ(refusal(), QStringList{"Please enter a numeric value for the column number"});
    for (const QString bad : {"0", "-3", " 0.4 "}) {
        d.txtNum->setText(bad);
        EXPECT_EQ(refusal(), QStringList{"Column number must be greate than 0"})
            << bad.toStdString();
    }
    EXPECT_EQ(buildrun::columnCount("2.5"), 2);
    EXPECT_EQ(buildrun::columnCount(" 3.5 "), 4);
    EXPECT_EQ(buildrun::columnCount("abc"), std::nullopt);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(buildrun::columnCount("2,5"), 2);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    // Beyond 16 bits: an unexpected failure, reported from the build.
    d.txtNum->setText("40000");
    const QStringList shown = refusal();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(lastReportedModule().startsWith("MODULE: btnNext_Click frmIndex Line : "));
    EXPECT_TRUE(shown[0].contains("ERROR DESCRIPTION: Overflow"));

    // Other outputs never look at the column text.
    d.optWindow->setChecked(true);
    d.txtNum->setText("abc");
    EXPECT_EQ(refusal(), QStringList{});
    EXPECT_EQ(lstOutLines(), (QStringList{"Elm St... A1", "Main St... A1, B1", "Oak Ave... B1"}));
}

TEST_F(BuildRunTest, TheChecksSpeakInTheirOrder) {
    dialog::frmMain& d = ready();
    d.optWindow->setChecked(true);
    d.cboLayerFields->setCurrentIndex(-1);
    d.cboSearchLayerFields->setCurrentIndex(-1);
    EXPECT_EQ(refusal(), QStringList{"Please select a field from layer #1"});
    d.cboLayerFields->setCurrentIndex(d.cboLayerFields->findText("PAGE"));
    EXPECT_EQ(refusal(), QStringList{"Please select a field from layer #2"});
    d.cboSearchLayerFields->setCurrentIndex(d.cboSearchLayerFields->findText("name"));

    d.cboRelationship->clear();
    EXPECT_EQ(refusal(), QStringList{"Please choose a relationship"});
    d.cboRelationship->addItems({"INTERSECT", "CROSS"});

    // A layer gone from the map after the pickers were filled.
    QgsMapLayer* pages = project_->mapLayersByName("pages").value(0);
    project_->takeMapLayer(pages);
    EXPECT_EQ(refusal(), QStringList{"Can't find layer: pages"});
    project_->addMapLayer(pages);

    // A field the table view shows but the data source lacks.
    auto* streets = qobject_cast<QgsVectorLayer*>(project_->mapLayersByName("streets").value(0));
    streets->addExpressionField("upper(\"name\")", QgsField("loud", QVariant::String));
    chooseLayer2("streets", "loud");
    EXPECT_EQ(refusal(), QStringList{"Can't find field: loud"});
    chooseLayer2("streets", "name");

    d.optFields->setChecked(true);
    EXPECT_EQ(refusal(), QStringList{"Please select a field"});
}

TEST_F(BuildRunTest, NoAtTheConfirmationChangesNothingShapeIsRefusedAfterYes) {
    dialog::frmMain& d = ready();
    d.optFields->setChecked(true);
    chooseOutputField("pages");
    ui_->queueAnswer(support::Answer::No);
    const size_t pointerChanges = ui_->pointerHistory().size();
    EXPECT_EQ(build().result, Result::AnsweredNo);
    EXPECT_EQ(ui_->messageTexts(),
              QStringList{"All field values in field: pages will be overwritten.\r\nContinue?"});
    EXPECT_EQ(ui_->pointerHistory().size(), pointerChanges);
    EXPECT_FALSE(progress().isVisible());
    EXPECT_EQ(progress().position(), 0);  // never set up

    chooseOutputField("Shape");
    ui_->queueAnswer(support::Answer::Yes);
    // The busy state is undone before the message shows.
    ui_->setEcho([this](const support::ScriptedUiToolkit::Message& m) {
        if (m.text.startsWith("Sorry")) {
            EXPECT_TRUE(pointerIsDefault());
            EXPECT_FALSE(progress().isVisible());
        }
    });
    const QStringList shown = refusal();
    ui_->setEcho({});
    EXPECT_EQ(shown.value(1), "Sorry, can't edit SHAPE field");
    EXPECT_EQ(savedStreets("Shape"), (QStringList{"x", "x", "x", "x", "x"}));
}

TEST_F(BuildRunTest, FieldOutputGivesEveryStreetAllItsPages) {
    dialog::frmMain& d = ready();
    d.optFields->setChecked(true);
    chooseOutputField("pages");
    ui_->queueAnswer(support::Answer::Yes);
    EXPECT_EQ(build().result, Result::Built);
    EXPECT_EQ(ui_->messageTexts().size(), 1);  // only the confirmation
    EXPECT_TRUE(pointerIsDefault());
    EXPECT_FALSE(progress().isVisible());
    EXPECT_EQ(progress().position(), 4);  // 1, a first step, then one per page
    // Main St crosses both pages; the nameless street still gets its page.
    EXPECT_EQ(savedStreets("pages"), (QStringList{" A1, B1", " A1", " B1", " A1", " B1"}));
    EXPECT_TRUE(lstOutLines().isEmpty());
}

TEST_F(BuildRunTest, AnIntegerFieldRefusesPageNamesAndKeepsEveryValue) {
    dialog::frmMain& d = ready();
    d.optFields->setChecked(true);
    chooseOutputField("n");
    ui_->queueAnswer(support::Answer::Yes);
    EXPECT_EQ(build().result, Result::EditFailed);
    EXPECT_EQ(ui_->messageTexts().value(1),
              "Error editing field values...\r\n"
              "Be sure the data type of the output field matches the data type of the input "
              "field.\r\n"
              "Hint: Choosing an output field with type STRING or CHARACTER should handle most "
              "situations.");
    EXPECT_TRUE(pointerIsDefault());
    EXPECT_FALSE(progress().isVisible());
    EXPECT_EQ(savedStreets("n"), (QStringList{"1", "2", "3", "4", "5"}));

    // Numbers go in: N into n, then every value is the page number.
    chooseLayer1("pages", "N");
    ui_->queueAnswer(support::Answer::Yes);
    ui_->clearMessages();
    // Main St meets two pages: " 1, 2" is no whole number either.
    EXPECT_EQ(build().result, Result::EditFailed);
    EXPECT_EQ(savedStreets("n"), (QStringList{"1", "2", "3", "4", "5"}));
}

TEST_F(BuildRunTest, ARefusedRelationshipIsTheRelateFailureWithNoOutput) {
    dialog::frmMain& d = ready();
    chooseLayer2("pages", "PAGE");
    d.cboRelationship->setCurrentIndex(d.cboRelationship->findText("CROSS"));
    d.optWindow->setChecked(true);
    EXPECT_EQ(build().result, Result::RelateFailed);
    EXPECT_EQ(ui_->messageTexts(),
              QStringList{"Error relating the two layers...\r\nBe sure the shape type of the "
                          "layers is appropriate for the selected relationship."});
    EXPECT_TRUE(pointerIsDefault());
    EXPECT_FALSE(progress().isVisible());
    EXPECT_TRUE(lstOutLines().isEmpty());

    // In field output the failure also leaves the field as it was.
    d.optFields->setChecked(true);
    chooseLayer2("pages", "PAGE");
    chooseOutputField("N");
    d.cboRelationship->setCurrentIndex(d.cboRelationship->findText("INTERSECT"));
    ui_->queueAnswer(support::Answer::Yes);
    ui_->clearMessages();
    EXPECT_EQ(build().result, Result::EditFailed);  // "A1" is no number for N
}
