// The add-in's resources: the command's bitmap, made on the first request
// and kept while the add-in is loaded.
#pragma once

#include <QByteArray>
#include <QPixmap>

#include <cstdint>

namespace bramlotte {

class frmResources {
  public:
    // The one resources form, created on first use.
    static frmResources& instance();

    // The command bitmap: 16 × 16, 24-bit, uncompressed, as a BMP file.
    const QByteArray& bitmapFile() const { return bmp_; }
    const QPixmap& Picture1() const { return picture_; }
    // A non-zero handle of Picture1, the same for every request.
    uint32_t handle() const { return handle_; }

  private:
    frmResources();
    QByteArray bmp_;
    QPixmap picture_;
    uint32_t handle_;
};

}  // namespace bramlotte
