// Forms are designed in twips (1440 to the inch); the screen counts pixels.
#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>

namespace bramlotte::support {

// Pixels for `twips` at the widget's logical DPI on that axis (15 twips a
// pixel at 96 dpi).
inline int twipsToPixelsX(const QWidget& w, int twips) {
    return (twips * w.logicalDpiX() + 720) / 1440;
}
inline int twipsToPixelsY(const QWidget& w, int twips) {
    return (twips * w.logicalDpiY() + 720) / 1440;
}

// Places `w` at a rectangle given in twips, relative to its parent.
inline void placeTwips(QWidget& w, int left, int top, int width, int height) {
    w.setGeometry(twipsToPixelsX(w, left), twipsToPixelsY(w, top), twipsToPixelsX(w, width),
                  twipsToPixelsY(w, height));
}

// The forms' sans-serif face at a point size, bold or not.
inline QFont formFont(double points, bool bold, bool underline = false) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

}  // namespace bramlotte::support
