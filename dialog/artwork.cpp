#include "dialog/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace bramlotte::dialog {

QPixmap indexDialogPicture() {
    QPixmap pixmap(120, 50);
    pixmap.fill(QColor(0x8f, 0xa3, 0xbf));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A map page, folded in three, with a street running across it.
    const QPolygonF page(
        {{6, 8}, {28, 4}, {50, 8}, {72, 4}, {72, 44}, {50, 48}, {28, 44}, {6, 48}});
    QLinearGradient paper(0, 0, 72, 48);
    paper.setColorAt(0, QColor(0xfb, 0xf6, 0xe4));
    paper.setColorAt(1, QColor(0xe6, 0xdc, 0xbc));
    p.setPen(QPen(QColor(0x4a, 0x55, 0x68), 1));
    p.setBrush(paper);
    p.drawPolygon(page);
    p.drawLine(QPointF(28, 4), QPointF(28, 44));
    p.drawLine(QPointF(50, 8), QPointF(50, 48));
    QPainterPath street;
    street.moveTo(8, 36);
    street.cubicTo(24, 20, 44, 40, 70, 16);
    p.setPen(QPen(QColor(0xc0, 0x39, 0x2b), 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(street);
    // The index: three lines on a card beside the page.
    p.setPen(QPen(QColor(0x4a, 0x55, 0x68), 1));
    p.setBrush(QColor(0xff, 0xff, 0xff));
    p.drawRoundedRect(QRectF(78, 10, 36, 30), 3, 3);
    p.setPen(QPen(QColor(0x1f, 0x3a, 0x93), 2));
    for (int i = 0; i < 3; ++i) {
        const double y = 18 + i * 7;
        p.drawLine(QPointF(83, y), QPointF(99 - i * 3, y));
        p.drawLine(QPointF(103, y), QPointF(109, y));
    }
    return pixmap;
}

}  // namespace bramlotte::dialog
