#include "print/text_measure.h"

#include "print/print_error.h"

#include <QFontMetricsF>
#include <QImage>

#include <algorithm>

namespace bramlotte::print {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72.0;
// Measured at a printer's resolution, where screen hinting and whole-pixel
// rounding no longer change the widths noticeably.
constexpr int kDotsPerInch = 1200;

// A device of kDotsPerInch for QFontMetricsF to resolve the font against.
const QImage& printerResolution() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32);
        const int dotsPerMetre = qRound(kDotsPerInch / kMmPerInch * 1000.0);
        image.setDotsPerMeterX(dotsPerMetre);
        image.setDotsPerMeterY(dotsPerMetre);
        return image;
    }();
    return device;
}

}  // namespace

QFont IndexFont(double pointSize) {
    QFont font;
    font.setPointSizeF(pointSize);
    return font;
}

TextMeasure FontMeasure(const QFont& font) {
    if (font.pointSizeF() <= 0) {
        throw PrintError(QStringLiteral("The index font needs a size in points."));
    }
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF regularMetrics(font, &printerResolution());
    const QFontMetricsF boldMetrics(bold, &printerResolution());
    const double mmPerDot = kMmPerInch / kDotsPerInch;

    TextMeasure measure;
    measure.width = [regularMetrics, boldMetrics, mmPerDot](const QString& text, bool isBold) {
        return (isBold ? boldMetrics : regularMetrics).horizontalAdvance(text) * mmPerDot;
    };
    measure.lineHeight =
        std::max(regularMetrics.lineSpacing(), boldMetrics.lineSpacing()) * mmPerDot;
    measure.em = font.pointSizeF() * kMmPerInch / kPointsPerInch;
    return measure;
}

}  // namespace bramlotte::print
