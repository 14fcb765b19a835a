#include "map/qgis/features/value_conversion.h"

#include "map/host.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>

#include <limits>

namespace bramlotte::qgishost {
namespace {

[[noreturn]] void refuse(const QgsField& field, const QString& text, const QString& why) {
    throw support::Failure(support::error::kConversion,
                           QStringLiteral("The text \"%1\" cannot be stored in field %2 (%3): %4.")
                               .arg(text, field.name(), field.typeName(), why));
}

// Numbers are read as the user's locale writes them, and in the C form.
template <typename Parse>
auto parseNumber(const QString& text, Parse parse) {
    bool ok = false;
    auto value = parse(QLocale::system(), text.trimmed(), &ok);
    if (!ok) {
        value = parse(QLocale::c(), text.trimmed(), &ok);
    }
    return std::make_pair(value, ok);
}

}  // namespace

QVariant convertForField(const QgsField& field, const QString& text) {
    switch (field.type()) {
        case QVariant::String: {
            if (field.length() > 0 && text.length() > field.length()) {
                refuse(field, text,
                       QStringLiteral("it is %1 characters long and the field holds at most %2")
                           .arg(text.length())
                           .arg(field.length()));
            }
            return text;
        }
        case QVariant::Int:
        case QVariant::LongLong:
        case QVariant::UInt:
        case QVariant::ULongLong: {
            auto [v, ok] = parseNumber(text, [](const QLocale& l, const QString& t, bool* ok) {
                return l.toLongLong(t, ok);
            });
            if (!ok) {
                refuse(field, text, QStringLiteral("it is not a whole number"));
            }
            if (field.type() == QVariant::Int &&
                (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())) {
                refuse(field, text, QStringLiteral("the number is out of the field's range"));
            }
            if ((field.type() == QVariant::UInt || field.type() == QVariant::ULongLong) && v < 0) {
                refuse(field, text, QStringLiteral("the field takes no negative numbers"));
            }
            if (field.type() == QVariant::Int) {
                return QVariant(static_cast<int>(v));
            }
            return QVariant(v);
        }
        case QVariant::Double: {
            auto [v, ok] = parseNumber(text, [](const QLocale& l, const QString& t, bool* ok) {
                return l.toDouble(t, ok);
            });
            if (!ok) {
                refuse(field, text, QStringLiteral("it is not a number"));
            }
            return QVariant(v);
        }
        case QVariant::Date: {
            const QString t = text.trimmed();
            QDate d = QLocale::system().toDate(t, QLocale::ShortFormat);
            if (!d.isValid()) {
                d = QDate::fromString(t, Qt::ISODate);
            }
            if (!d.isValid()) {
                refuse(field, text, QStringLiteral("it is not a date"));
            }
            return d;
        }
        case QVariant::DateTime: {
            const QString t = text.trimmed();
            QDateTime d = QLocale::system().toDateTime(t, QLocale::ShortFormat);
            if (!d.isValid()) {
                d = QDateTime::fromString(t, Qt::ISODate);
            }
            if (!d.isValid()) {
                refuse(field, text, QStringLiteral("it is not a date and time"));
            }
            return d;
        }
        default: {
            QVariant v(text);
            QString why;
            if (!field.convertCompatible(v, &why)) {
                refuse(field, text, why.isEmpty() ? QStringLiteral("the types differ") : why);
            }
            return v;
        }
    }
}

}  // namespace bramlotte::qgishost
