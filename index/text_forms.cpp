#include "index/text_forms.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>

namespace bramlotte::index {

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
        case QVariant::Double: {
            QLocale locale = QLocale();
            locale.setNumberOptions(QLocale::OmitGroupSeparator);
            return locale.toString(value.toDouble(), 'g', QLocale::FloatingPointShortest);
        }
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
    for (const QChar c : text) {
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
