// The command object: its properties in every state, creation with a hook
// that is no QGIS, clicks that open dialogs, and its bitmap.
#include "command/bramlotte_command.h"
#include "command/command_state.h"
#include "command/frm_resources.h"
#include "dialog/frm_main.h"
#include "map/qgis/desktop/qgis_application.h"
#include "map/qgis/desktop/qgis_desktop.h"
#include "map/qgis/desktop/qgis_document.h"
#include "support/addin/addin_state.h"
#include "support/desktop/scripted_ui_toolkit.h"
#include "support/desktop/terminal_progress.h"
#include "support/errors/error_handling.h"
#include "tests/testing/test_maps.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDataStream>
#include <QImage>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using namespace bramlotte;

namespace {

// A host whose application is a headless QGIS over a test project: the
// desktop's own hook handling is tested in real QGIS (qgis_end_to_end).
class HeadlessHost : public host::CommandHost {
  public:
    explicit HeadlessHost(QgsProject& project) : project_(project) {}
    std::shared_ptr<host::Application> applicationFromHook(QObject* hook) override {
        if (hook != &hook_) {
            throw support::Failure(support::error::kNotFound, "not our hook");
        }
        return application();
    }
    std::shared_ptr<host::ApplicationReference> newApplicationReference() override {
        ++references;
        struct Reference : host::ApplicationReference {
            HeadlessHost* host;
            std::shared_ptr<host::Application> application() override {
                return host->application();
            }
        };
        auto r = std::make_shared<Reference>();
        r->host = this;
        return r;
    }
    std::shared_ptr<host::Application> application() {
        return std::make_shared<qgishost::QgisApplication>(
            std::make_shared<qgishost::QgisMapDocument>(project_),
            std::make_unique<support::SimpleStatusBar>(
                std::make_unique<support::TerminalProgress>()));
    }
    QObject hook_;
    int references = 0;

  private:
    QgsProject& project_;
};

class CommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = addInState();
        addInState() = AddInState();
        commandState() = CommandState();
        ui_ = std::make_shared<support::ScriptedUiToolkit>();
        addInState().ui = ui_;
    }
    void TearDown() override {
        delete commandState().indexDialog.data();
        commandState() = CommandState();
        addInState() = saved_;
    }
    void expectFixedTexts(Bramlotte& c) {
        EXPECT_TRUE(c.Enabled());
        EXPECT_FALSE(c.Checked());
        EXPECT_EQ(c.Name(), "Quillmere_Bramlotte");
        EXPECT_EQ(c.Caption(), "Bramlotte");
        EXPECT_EQ(c.Tooltip(), "Bramlotte - Build a Location Index");
        EXPECT_EQ(c.Message(), "Quillmere: http://www.quillmere.example");
        EXPECT_EQ(c.HelpFile(), "");
        EXPECT_EQ(c.HelpContextID(), 0);
        EXPECT_EQ(c.Category(), "Quillmere");
    }
    QgsProject project_;
    std::shared_ptr<support::ScriptedUiToolkit> ui_;
    AddInState saved_;
};

}  // namespace

TEST_F(CommandTest, PropertiesAreTheSameBeforeAndAfterCreation) {
    HeadlessHost host(project_);
    Bramlotte command(host);
    expectFixedTexts(command);
    EXPECT_EQ(addInState().productName, "");
    command.OnCreate(&host.hook_);
    EXPECT_EQ(addInState().productName, "Bramlotte");
    EXPECT_EQ(addInState().productVersion, "v2.03");
    EXPECT_TRUE(command.application());
    expectFixedTexts(command);
    EXPECT_TRUE(ui_->messages().empty());
}

TEST_F(CommandTest, AHookThatIsNoQgisLeavesNameAndVersionEmpty) {
    qgishost::QgisCommandHost host(nullptr);  // the plugin's own host, without QGIS
    Bramlotte command(host);
    QObject notQgis;
    command.OnCreate(&notQgis);
    EXPECT_EQ(ui_->messageTexts(), QStringList{"Error: ICommand_OnCreate()"});
    EXPECT_EQ(addInState().productName, "");
    EXPECT_EQ(addInState().productVersion, "");
    EXPECT_FALSE(command.application());
    // A later error box shows the empty name and version.
    support::ReportUnexpectedError(desktopReporter(), "x frmIndex ", 1, "d");
    EXPECT_EQ(ui_->messages().back().text.split("\r\n")[7], "APPLICATION:  ");
    // A click cannot reach QGIS either: its own box, no dialog shown.
    command.OnClick();
    EXPECT_EQ(ui_->messageTexts().last(), "Error: ICommand_OnClick()");
    ASSERT_TRUE(commandState().indexDialog);
    EXPECT_FALSE(commandState().indexDialog->isVisible());
}

TEST_F(CommandTest, EachClickOpensADialogTheReferenceIsMadeOnce) {
    project_.addMapLayer(testmaps::memoryLayer("streets", "LineString", {"name:string"},
                                               {{"LINESTRING(1 1,2 2)", {"Main St"}}})
                             .release());
    HeadlessHost host(project_);
    Bramlotte command(host);
    command.OnCreate(&host.hook_);
    command.OnClick();
    QPointer<QWidget> first = commandState().indexDialog;
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->windowTitle(), "Bramlotte");
    // A layer added between the clicks shows in the second dialog only.
    project_.addMapLayer(testmaps::memoryLayer("pages", "Polygon", {"PAGE:string"},
                                               {{"POLYGON((0 0,5 0,5 5,0 5,0 0))", {"P1"}}})
                             .release());
    command.OnClick();
    QPointer<QWidget> second = commandState().indexDialog;
    EXPECT_NE(first, second);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(host.references, 1);
    EXPECT_EQ(static_cast<dialog::frmMain*>(first.data())->cboMapLayers->count(), 1);
    EXPECT_EQ(static_cast<dialog::frmMain*>(second.data())->cboMapLayers->count(), 2);
    EXPECT_TRUE(commandState().hostApplication);
    EXPECT_TRUE(commandState().mapDocument);
    EXPECT_TRUE(addInState().statusBar);
    // The second dialog does not hide the first: it opens a little lower
    // and further right.
    EXPECT_EQ(second->pos(), first->pos() + QPoint(28, 28));

    // The dialog a click opens builds: its button reaches the index.
    auto& d = *static_cast<dialog::frmMain*>(second.data());
    d.cboMapLayers->setCurrentIndex(d.cboMapLayers->findText("pages"));
    d.cboMapLayers_Click();
    EXPECT_EQ(d.cboLayerFields->count(), 1);
    d.cboLayerFields->setCurrentIndex(0);
    d.cboSearchLayers->setCurrentIndex(d.cboSearchLayers->findText("streets"));
    d.cboSearchLayers_Change();
    d.cboSearchLayerFields->setCurrentIndex(0);
    d.optWindow->setChecked(true);
    d.btnNext->click();
    EXPECT_EQ(d.lastOutcome().result, buildrun::BuildOutcome::Result::Built);
    EXPECT_EQ(d.resultList().lines(), QStringList{"Main St... P1"});
    first->close();  // deletes itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);
    EXPECT_TRUE(ui_->messages().empty());
}

TEST_F(CommandTest, TheBitmapIsOneValid824ByteBmp) {
    HeadlessHost host(project_);
    Bramlotte command(host);
    const uint32_t handle = command.Bitmap();
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(command.Bitmap(), handle);
    const QByteArray bmp = frmResources::instance().bitmapFile();
    ASSERT_EQ(bmp.size(), 824);
    QDataStream s(bmp);
    s.setByteOrder(QDataStream::LittleEndian);
    quint8 b, m;
    quint32 fileSize, reserved, offset, infoSize, compression;
    qint32 width, height;
    quint16 planes, bits;
    s >> b >> m >> fileSize >> reserved >> offset >> infoSize >> width >> height >> planes >>
        bits >> compression;
    EXPECT_EQ(b, 'B');
    EXPECT_EQ(m, 'M');
    EXPECT_EQ(fileSize, 824u);
    EXPECT_EQ(offset, 54u);
    EXPECT_EQ(infoSize, 40u);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 16);
    EXPECT_EQ(bits, 24);
    EXPECT_EQ(compression, 0u);
    const QImage image = QImage::fromData(bmp, "BMP");
    EXPECT_EQ(image.size(), QSize(16, 16));
    EXPECT_NE(image.pixel(0, 0), image.pixel(7, 7));  // a picture, not a blank
}
