#include "index/text_forms.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>

#include <cmath>

namespace bramlotte::index {
namespace {

// A real as the locale writes it, in plain decimal notation: the fewest
// digits that read back as the same number, never an exponent, no group
// separators ("2000000", not "2e+06"; "0,00001" in German).
QString realText(double value) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = locale.toString(value, 'f', QLocale::FloatingPointShortest);
    // Qt drops the sign of negative zero, which then reads back as zero.
    if (value == 0 && std::signbit(value)) {
        text.prepend(locale.negativeSign());
    }
    return text;
}

}  // namespace

QString textForm(const QVariant& value) {
    if (value.isNull()) {
        return QString();
    }
    switch (value.type()) {
        case QVariant::Int:
        case QVariant::LongLong:
            return QString::number(value.toLongLong());
        case QVariant::UInt:
        case QVariant::ULongLong:
            return QString::number(value.toULongLong());
        case QVariant::Double:
            return realText(value.toDouble());
        case QVariant::Date:
            return QLocale().toString(value.toDate(), QLocale::ShortFormat);
        case QVariant::DateTime:
            return QLocale().toString(value.toDateTime(), QLocale::ShortFormat);
        case QVariant::Time:
            return QLocale().toString(value.toTime(), QLocale::ShortFormat);
        case QVariant::Bool:
            return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        default:
            return value.toString();
    }
}

QString trimSpaces(const QString& text) {
    int first = 0;
    int last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text.at(last - 1) == QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first);
}

QString nonBlankTextForm(const QVariant& value) {
    if (value.isNull()) {
        return QString();
    }
    QString text = textForm(value);
    for (const QChar c : qAsConst(text)) {  // reading must not copy a shared text
        if (c != QLatin1Char(' ')) {
            return text;
        }
    }
    return QString();
}

bool isBlank(const QVariant& value) {
    return nonBlankTextForm(value).isNull();
}

}  // namespace bramlotte::index
