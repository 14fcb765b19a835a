// Bramlotte's own pictures, drawn at run time.
#pragma once

#include <QPixmap>

namespace bramlotte::dialog {

// The index dialog's 120 × 50 picture: a folded map page with an index tab.
QPixmap indexDialogPicture();

}  // namespace bramlotte::dialog
