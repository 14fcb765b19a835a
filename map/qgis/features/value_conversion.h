// Text put into a field becomes a value of the field's type.
#pragma once

#include <qgsfield.h>

#include <QVariant>

namespace bramlotte::qgishost {

// Converts `text` for `field`. Throws support::Failure with a message naming
// the field when the text is no value of that type or does not fit; nothing
// is truncated or zeroed.
QVariant convertForField(const QgsField& field, const QString& text);

}  // namespace bramlotte::qgishost
