#include "support/addin/frm_help.h"

#include "support/addin/addin_state.h"
#include "support/base/product.h"
#include "support/base/twips.h"
#include "support/errors/error_trap.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace bramlotte::support {

const QString kWebAddress = QStringLiteral("http://www.quillmere.example");
const QString kInfoEmail = QStringLiteral("info@quillmere.example");
const QString kForumAddress = QStringLiteral("http://forum.quillmere.example/bramlotte");

QString productPageAddress(const QString& productName) {
    return kWebAddress + QStringLiteral("/Products/QGIS/") + productName +
           QStringLiteral("/index.htm");
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->pos())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

namespace {

const char* const kModule = "frmHelp";

LinkLabel* link(QWidget* parent, int left, int top, int width, const QString& caption,
                const QString& tooltip, Qt::Alignment align, bool white) {
    auto* l = new LinkLabel(caption, parent);  // owned by its parent
    placeTwips(*l, left, top, width, 255);
    l->setFont(formFont(9.75, false, true));
    l->setAlignment(align | Qt::AlignVCenter);
    l->setToolTip(tooltip);
    l->setCursor(Qt::PointingHandCursor);
    l->setStyleSheet(white ? QStringLiteral("color: rgb(0,0,192); background: white;")
                           : QStringLiteral("color: rgb(0,0,192);"));
    return l;
}

}  // namespace

frmHelp::frmHelp(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Bramlotte - Help"));
    setFixedSize(twipsToPixelsX(*this, 9285), twipsToPixelsY(*this, 7170));
    setAttribute(Qt::WA_DeleteOnClose);

    Frame1 = new QWidget(this);  // owned by the window
    placeTwips(*Frame1, 1980, 720, 4995, 315);
    Frame1->setStyleSheet(QStringLiteral("background: white;"));
    Label2 = link(Frame1, 60, 0, 2235, QStringLiteral("www.quillmere.example"),
                  QStringLiteral("Visit us!"), Qt::AlignLeft, true);
    Label3 =
        link(Frame1, 2400, 0, 2595, kInfoEmail, QStringLiteral("Email us!"), Qt::AlignLeft, true);
    Label4 = link(this, 7260, 420, 1875, QStringLiteral("Check for Updates"),
                  QStringLiteral("Get the latest version"), Qt::AlignRight, false);
    Label5 = link(this, 7500, 720, 1635, QStringLiteral("Product Forum"),
                  QStringLiteral("Visit the Quillmere Forum discussion for this tool"),
                  Qt::AlignRight, false);
    connect(Label2, &LinkLabel::clicked, this, &frmHelp::Label2_Click);
    connect(Label3, &LinkLabel::clicked, this, &frmHelp::Label3_Click);
    connect(Label4, &LinkLabel::clicked, this, &frmHelp::Label4_Click);
    connect(Label5, &LinkLabel::clicked, this, &frmHelp::Label5_Click);
}

frmHelp::~frmHelp() = default;

HostFrame* frmHelp::Frame() {
    if (!frame_) {
        frame_ = ui().newHostFrame();
        frame_->create(*this);
        frame_->setCaption(addInState().productName + QStringLiteral(" - Help"));
    }
    return frame_.get();
}

void frmHelp::Form_Load() {
    BRAMLOTTE_TRAP(desktopReporter(), "Form_Load", kModule, [](ErrorTrap&) {});
}

void frmHelp::Label2_Click() {
    ui().openLink(kWebAddress);
}

void frmHelp::Label3_Click() {
    ui().openLink(QStringLiteral("mailto:") + kInfoEmail);
}

void frmHelp::Label4_Click() {
    ui().openLink(productPageAddress(addInState().productName));
}

void frmHelp::Label5_Click() {
    ui().openLink(kForumAddress);
}

void frmHelp::btnCloseHelp_Click() {
    BRAMLOTTE_TRAP(desktopReporter(), "btnCloseHelp_Click", kModule, [&](ErrorTrap&) { hide(); });
}

void frmHelp::paintEvent(QPaintEvent*) {
    // The maker's artwork: a dusk sky over a map grid, the product's name.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0, QColor(0x1d, 0x2b, 0x53));
    sky.setColorAt(1, QColor(0x7e, 0x9c, 0xc4));
    p.fillRect(rect(), sky);
    // A light band at the top, where the links stand.
    p.fillRect(QRect(0, 0, width(), 90), QColor(0xee, 0xf2, 0xf8));
    p.fillRect(QRect(0, 90, width(), 3), QColor(0xf3, 0x9c, 0x12));
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    for (int x = 0; x < width(); x += 40) {
        p.drawLine(x, 120, x, height());
    }
    for (int y = 120; y < height(); y += 40) {
        p.drawLine(0, y, width(), y);
    }
    QPainterPath road;
    road.moveTo(0, height() * 0.8);
    road.cubicTo(width() * 0.3, height() * 0.5, width() * 0.6, height() * 0.95, width(),
                 height() * 0.55);
    p.setPen(QPen(QColor(0xf3, 0x9c, 0x12), 6, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(road);
    p.setPen(Qt::white);
    p.setFont(formFont(28, true));
    p.drawText(QRect(0, height() / 3, width(), 60), Qt::AlignCenter, product::kName);
    p.setFont(formFont(11, false));
    p.drawText(QRect(0, height() / 3 + 56, width(), 30), Qt::AlignCenter,
               QStringLiteral("Street atlas indexes, by Quillmere"));
}

}  // namespace bramlotte::support
