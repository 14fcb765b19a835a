#include "dialog/frm_main.h"

#include "buildrun/build_run.h"
#include "dialog/artwork.h"
#include "dialog/layer_pickers.h"
#include "export/save_chooser.h"
#include "index/relate.h"
#include "support/addin/addin_state.h"
#include "support/addin/frm_help.h"
#include "support/base/twips.h"
#include "support/errors/error_trap.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStringListModel>

namespace bramlotte::dialog {
namespace {

const char* const kModule = "frmIndex";
using support::formFont;
using support::placeTwips;

// Window and frames in twips.
constexpr int kWidth = 7125;
constexpr int kHeight = 6600;
// How far each further dialog opens from the one before, in pixels.
constexpr int kCascade = 28;

template <typename W>
W* make(QWidget* parent, int left, int top, int width, int height, const QString& text = {}) {
    auto* w = new W(parent);  // owned by its parent widget
    placeTwips(*w, left, top, width, height);
    if constexpr (std::is_base_of_v<QLabel, W> || std::is_base_of_v<QLineEdit, W> ||
                  std::is_base_of_v<QAbstractButton, W>) {
        w->setText(text);
    }
    return w;
}

QLabel* label(QWidget* parent, int left, int top, int width, const QString& text,
              double points = 8.25) {
    auto* l = make<QLabel>(parent, left, top, width, 255, text);
    l->setFont(formFont(points, true));
    return l;
}

QComboBox* picker(QWidget* parent, const char* name, int left, int top, int width) {
    auto* c = make<QComboBox>(parent, left, top, width, 315);
    c->setObjectName(QLatin1String(name));
    c->setEditable(false);  // chosen, never typed
    c->setFont(formFont(8.25, true));
    c->setCursor(Qt::PointingHandCursor);
    return c;
}

QLineEdit* textBox(QWidget* parent, const char* name, int left, int top, const QString& text,
                   const QString& hint) {
    auto* t = make<QLineEdit>(parent, left, top, 960, 315, text);
    t->setObjectName(QLatin1String(name));
    t->setFont(formFont(8.25, true));
    t->setToolTip(hint);
    t->setStyleSheet(QStringLiteral("QLineEdit { color: #0000c0; background: #e4e4e4; }"));
    return t;
}

QRadioButton* option(QWidget* parent, const char* name, int left, int top, const QString& text,
                     const QString& hint) {
    auto* o = make<QRadioButton>(parent, left, top, 2900, 255, text);
    o->setObjectName(QLatin1String(name));
    o->setFont(formFont(8.25, true));
    o->setToolTip(hint);
    o->setCursor(Qt::PointingHandCursor);
    return o;
}

}  // namespace

frmMain::frmMain(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(addInState().productName);
    setFixedSize(support::twipsToPixelsX(*this, kWidth), support::twipsToPixelsY(*this, kHeight));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xb4, 0xc3, 0xd8));  // grey-blue
    setPalette(pal);

    Frame1 = make<QGroupBox>(this, 60, 60, 7005, 6480);
    Frame1->setTitle(QStringLiteral("Build a location index"));
    Frame1->setFont(formFont(8.25, true));
    buildLayersFrame();
    buildOutputFrame();
    buildFooter();

    // Tab order: the sentence, the outputs, then the two buttons.
    const QList<QWidget*> order = {
        cboSearchLayers, cboSearchLayerFields, cboRelationship, cboMapLayers, cboLayerFields,
        optText,         txtSeparator,         txtItemSep,      optTable,     optFields,
        cboOutputFields, optElement,           txtNum,          btnHelp2,     btnNext};
    for (int i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }

    connect(cboMapLayers, QOverload<int>::of(&QComboBox::activated), this,
            &frmMain::cboMapLayers_Click);
    connect(cboSearchLayers, QOverload<int>::of(&QComboBox::activated), this,
            &frmMain::cboSearchLayers_Change);
    connect(btnHelp2, &QPushButton::clicked, this, &frmMain::btnHelp2_Click);
    connect(btnNext, &QPushButton::clicked, this, &frmMain::btnNext_Click);
}

frmMain::~frmMain() = default;

void frmMain::buildLayersFrame() {
    Frame3 = make<QGroupBox>(Frame1, 120, 300, 3480, 5160);
    Frame3->setTitle(QStringLiteral("Layers"));
    Frame3->setFont(formFont(8.25, true));
    label(Frame3, 120, 300, 3240, QStringLiteral("Find all features in layer..."), 9.75);
    cboSearchLayers = picker(Frame3, "cboSearchLayers", 120, 600, 3240);
    label(Frame3, 120, 1000, 3240, QStringLiteral("Field to get values from:"));
    cboSearchLayerFields = picker(Frame3, "cboSearchLayerFields", 120, 1260, 3240);
    label(Frame3, 120, 1800, 3240, QStringLiteral("Whose features..."), 9.75);
    cboRelationship = picker(Frame3, "cboRelationship", 120, 2100, 3240);
    cboRelationship->setToolTip(QStringLiteral(
        "Choose a relationship to define the spatial processing between Layer #1 and Layer #2"));
    label(Frame3, 120, 2640, 3240, QStringLiteral("The features in layer..."), 9.75);
    cboMapLayers = picker(Frame3, "cboMapLayers", 120, 2940, 3240);
    label(Frame3, 120, 3340, 3240, QStringLiteral("Field to get values from:"));
    cboLayerFields = picker(Frame3, "cboLayerFields", 120, 3600, 3240);
}

void frmMain::buildOutputFrame() {
    Frame2 = make<QGroupBox>(Frame1, 3720, 300, 3165, 5160);
    Frame2->setTitle(QStringLiteral("Output format"));
    Frame2->setFont(formFont(8.25, true));
    auto* group = new QButtonGroup(Frame2);  // one choice among the outputs
    optText = option(Frame2, "optText", 120, 300, QStringLiteral("Text file"),
                     QStringLiteral("Save the results in a text file"));
    label(Frame2, 360, 630, 1560, QStringLiteral("Column Separator:"));
    txtSeparator = textBox(Frame2, "txtSeparator", 1980, 600, QStringLiteral("..."),
                           QStringLiteral("Text to place between layer values"));
    label(Frame2, 360, 990, 1560, QStringLiteral("Item Separator:"));
    txtItemSep = textBox(Frame2, "txtItemSep", 1980, 960, QStringLiteral(","),
                         QStringLiteral("Text to place between multiple values"));
    optTable = option(Frame2, "optTable", 120, 1440, QStringLiteral("Table"),
                      QStringLiteral("Save the results in a delimited table"));
    optFields = option(Frame2, "optFields", 120, 1860, QStringLiteral("Field within layer"),
                       QStringLiteral("Save the results as field values"));
    label(Frame2, 360, 2190, 600, QStringLiteral("Layer:"));
    lblLayer = label(Frame2, 960, 2190, 2000, QString());
    lblLayer->setObjectName(QStringLiteral("lblLayer"));
    label(Frame2, 360, 2550, 600, QStringLiteral("Field:"));
    cboOutputFields = picker(Frame2, "cboOutputFields", 960, 2520, 1980);
    optElement = option(Frame2, "optElement", 120, 3000, QStringLiteral("Element in map layout"),
                        QStringLiteral("Place the results in a text element on the Page Layout"));
    label(Frame2, 360, 3330, 1560, QStringLiteral("Number of Columns:"));
    txtNum = textBox(Frame2, "txtNum", 1980, 3300, QStringLiteral("1"),
                     QStringLiteral("Enter the number of columns you would like"));
    optWindow = option(Frame2, "optWindow", 120, 3780, QStringLiteral("Text window"), QString());
    optWindow->setVisible(false);
    for (QRadioButton* o : {optText, optTable, optFields, optElement, optWindow}) {
        group->addButton(o);
    }
    optText->setChecked(true);
}

void frmMain::buildFooter() {
    Picture = make<QLabel>(Frame1, 120, 5580, 1800, 750);
    Picture->setPixmap(indexDialogPicture());
    Picture->setFixedSize(120, 50);
    txtVersion = label(Frame1, 2040, 6000, 1200, QString());
    txtVersion->setObjectName(QStringLiteral("txtVersion"));
    btnHelp2 = make<QPushButton>(Frame1, 4200, 5760, 495, 495, QStringLiteral("?"));
    btnHelp2->setObjectName(QStringLiteral("btnHelp2"));
    btnHelp2->setToolTip(QStringLiteral("Help"));
    btnNext = make<QPushButton>(Frame1, 4800, 5760, 2040, 495, QStringLiteral("Build Index"));
    btnNext->setObjectName(QStringLiteral("btnNext"));
    btnNext->setToolTip(QStringLiteral("Begin processing!"));
    for (QPushButton* b : {btnHelp2, btnNext}) {
        b->setFont(formFont(8.25, true));
        b->setCursor(Qt::PointingHandCursor);
    }
    lstOut = new QListView(this);  // owned by the dialog; never shown
    lstOut->setObjectName(QStringLiteral("lstOut"));
    lstOut->setVisible(false);
    lstOutModel_ = new QStringListModel(lstOut);
    lstOut->setModel(lstOutModel_);
}

host::HostFrame* frmMain::Frame() {
    if (frame_) {
        return frame_.get();
    }
    BRAMLOTTE_TRAP(desktopReporter(), "Frame", kModule,
                   [&](support::ErrorTrap&) { frame_ = ui().newHostFrame(); });
    if (!frame_) {
        return nullptr;
    }
    // Binding and captioning failures leave a usable frame.
    try {
        frame_->create(*this);
    } catch (...) {
    }
    try {
        frame_->setCaption(addInState().productName);
    } catch (...) {
    }
    return frame_.get();
}

void frmMain::showResultList() {
    lstOutModel_->setStringList(resultList_.lines());
}

QPoint frmMain::openingPlace() const {
    const QRect area = ui().hostArea();
    QPoint place(area.x() + (area.width() - width()) / 2,
                 area.y() + (area.height() - height()) / 2);
    // A dialog already standing at the place would hide behind this one.
    for (bool taken = true; taken;) {
        taken = false;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != this && qobject_cast<frmMain*>(w) && w->isVisible() && w->pos() == place) {
                place += QPoint(kCascade, kCascade);
                taken = true;
            }
        }
    }
    return place;
}

void frmMain::Form_Load() {
    const bool loaded =
        BRAMLOTTE_TRAP(desktopReporter(), "Form_Load", kModule, [&](support::ErrorTrap& trap) {
            BRAMLOTTE_LINE(trap);
            host::HostFrame* frame = Frame();
            if (!frame) {
                throw support::Failure(support::error::kFail,
                                       QStringLiteral("The dialog has no frame."));
            }
            const QPoint place = openingPlace();
            frame->move(place.x(), place.y(), 0, 0);
            BRAMLOTTE_LINE(trap);
            ui().setPointer(support::Pointer::Wait);
            BRAMLOTTE_LINE(trap);
            txtVersion->setText(addInState().productVersion);
            BRAMLOTTE_LINE(trap);
            LoadMapLayers(context_.document.get(), *cboMapLayers);
            LoadMapLayers(context_.document.get(), *cboSearchLayers);
            BRAMLOTTE_LINE(trap);
            cboRelationship->clear();
            cboRelationship->addItems(index::relationshipNames());
            cboRelationship->setCurrentIndex(0);  // INTERSECT
            BRAMLOTTE_LINE(trap);
            ui().setPointer(support::Pointer::Default);
        });
    if (!loaded) {
        ui().setPointer(support::Pointer::Default);
    }
}

void frmMain::cboMapLayers_Click() {
    BRAMLOTTE_TRAP(desktopReporter(), "cboMapLayers_Click", kModule, [&](support::ErrorTrap& trap) {
        BRAMLOTTE_LINE(trap);
        LoadLayerFields(context_.document.get(), cboMapLayers->currentText(), *cboLayerFields,
                        true);
    });
}

void frmMain::cboSearchLayers_Change() {
    BRAMLOTTE_TRAP(desktopReporter(), "cboSearchLayers_Change", kModule,
                   [&](support::ErrorTrap& trap) {
                       const QString name = cboSearchLayers->currentText();
                       BRAMLOTTE_LINE(trap);
                       lblLayer->setText(name);
                       BRAMLOTTE_LINE(trap);
                       LoadLayerFields(context_.document.get(), name, *cboSearchLayerFields, true);
                       BRAMLOTTE_LINE(trap);
                       LoadLayerFields(context_.document.get(), name, *cboOutputFields, false);
                   });
}

void frmMain::btnHelp2_Click() {
    auto* help = new support::frmHelp(this);  // owned by the dialog
    if (host::HostFrame* frame = help->Frame()) {
        frame->setVisible(true);
    }
}

buildrun::BuildChoices frmMain::choices() const {
    buildrun::BuildChoices c;
    c.columnSeparator = txtSeparator->text();
    c.itemSeparator = txtItemSep->text();
    c.columnText = txtNum->text();
    c.relationship = cboRelationship->currentText();
    c.field1 = cboLayerFields->currentText();
    c.field2 = cboSearchLayerFields->currentText();
    c.layer1 = cboMapLayers->currentText();
    c.layer2 = cboSearchLayers->currentText();
    c.outputField = cboOutputFields->currentText();
    using buildrun::Output;
    c.output = optFields->isChecked()    ? Output::Field
               : optTable->isChecked()   ? Output::Table
               : optText->isChecked()    ? Output::TextFile
               : optElement->isChecked() ? Output::Layout
                                         : Output::Window;
    return c;
}

void frmMain::btnNext_Click() {
    if (!context_.exportTargets) {
        context_.exportTargets = std::make_shared<exporting::ExportTargets>();
    }
    exporting::FormSaveChooser chooser(*context_.exportTargets);
    // The status bar's indicator; a host that offers none fails the build.
    host::ProgressIndicator* progress = nullptr;
    try {
        if (context_.application) {
            if (const std::shared_ptr<host::StatusBar> bar = context_.application->statusBar()) {
                progress = bar->progressIndicator();
            }
        }
    } catch (const support::Failure&) {
        progress = nullptr;
    }
    buildrun::BuildContext context(ui());
    context.document = context_.document.get();
    context.progress = progress;
    context.saveChooser = &chooser;
    context.resultList = &resultList_;
    context.reporter = desktopReporter();
    // The build's messages and save dialog open over this dialog.
    struct Owner {
        explicit Owner(QWidget* w) { ui().setOwnerWindow(w); }
        ~Owner() { ui().setOwnerWindow(nullptr); }
    } owner(this);
    lastOutcome_ = buildrun::BuildIndex(choices(), context);
    showResultList();
    emit buildFinished();
}

}  // namespace bramlotte::dialog
