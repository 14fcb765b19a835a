#include "command/frm_resources.h"

#include <QDataStream>

namespace bramlotte {
namespace {

// Our own 16 × 16 picture: an index card with a red street over a page.
QRgb pixelAt(int x, int y) {
    const QRgb background = qRgb(0xb4, 0xc3, 0xd8);
    const QRgb paper = qRgb(0xfb, 0xf6, 0xe4);
    const QRgb ink = qRgb(0x1f, 0x3a, 0x93);
    const QRgb road = qRgb(0xc0, 0x39, 0x2b);
    const QRgb edge = qRgb(0x4a, 0x55, 0x68);
    if (x < 1 || x > 14 || y < 2 || y > 13) {
        return background;
    }
    if (x == 1 || x == 14 || y == 2 || y == 13) {
        return edge;
    }
    if (y == 12 - x / 2 || y == 13 - x / 2) {
        return road;
    }
    if ((y == 5 || y == 8) && x >= 4 && x <= 11) {
        return ink;
    }
    return paper;
}

// A BMP file: 14-byte file header, 40-byte info header, rows bottom-up,
// blue-green-red, each row 48 bytes (already a multiple of four), and the
// file padded to a multiple of four bytes: 824 in all.
QByteArray makeBitmapFile() {
    constexpr int kSize = 16;
    constexpr quint32 kHeaders = 54;
    constexpr quint32 kPixels = kSize * kSize * 3;
    constexpr quint32 kFile = (kHeaders + kPixels + 3) / 4 * 4;
    QByteArray file;
    QDataStream s(&file, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << quint8('B') << quint8('M') << kFile << quint16(0) << quint16(0) << kHeaders;
    s << quint32(40) << qint32(kSize) << qint32(kSize) << quint16(1) << quint16(24)
      << quint32(0) /* uncompressed */ << kPixels << qint32(2835) << qint32(2835) << quint32(0)
      << quint32(0);
    for (int y = kSize - 1; y >= 0; --y) {
        for (int x = 0; x < kSize; ++x) {
            const QRgb p = pixelAt(x, y);
            s << quint8(qBlue(p)) << quint8(qGreen(p)) << quint8(qRed(p));
        }
    }
    while (static_cast<quint32>(file.size()) < kFile) {
        s << quint8(0);
    }
    return file;
}

}  // namespace

frmResources& frmResources::instance() {
    static frmResources resources;
    return resources;
}

frmResources::frmResources() : bmp_(makeBitmapFile()) {
    picture_.loadFromData(bmp_, "BMP");
    // The pixmap's own key identifies it for as long as it lives.
    handle_ = picture_.isNull() ? 0u : static_cast<uint32_t>(picture_.cacheKey());
}

}  // namespace bramlotte
