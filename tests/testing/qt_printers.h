// Readable test failure output for Qt strings.
#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << "{";
    for (int i = 0; i < l.size(); ++i) {
        *os << (i ? ", " : "") << '"' << l[i].toStdString() << '"';
    }
    *os << "}";
}
