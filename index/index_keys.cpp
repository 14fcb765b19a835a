#include "index/index_keys.h"

#include "index/text_forms.h"

namespace bramlotte::index {

QString IndexKeys::keyOf(const QString& text, const host::Feature& feature) const {
    const QString filed = filing_ ? filing_->filed(text) : text;
    const int locality = localities_ ? localities_->shownLocality(feature) : -1;
    if (locality < 0) {
        return filed;
    }
    const QString name = textForm(localities_->localityName(locality));
    // A filed key already ends in brackets: the locality follows a comma.
    return filed != text ? filed + QStringLiteral(", ") + name
                         : text + QStringLiteral(" (") + name + QLatin1Char(')');
}

}  // namespace bramlotte::index
