#include "tests/testing/locales.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <clocale>
#include <stdexcept>

namespace bramlotte::testmaps {
namespace {

bool systemHas(const QString& name) {
    const locale_t locale = newlocale(LC_ALL_MASK, name.toLatin1().constData(), nullptr);
    if (!locale) {
        return false;
    }
    freelocale(locale);
    return true;
}

// Makes `name` into `folder` with localedef; false when it cannot.
bool make(const QString& name, const QString& folder) {
    const QString localedef = QStandardPaths::findExecutable("localedef");
    const int dot = name.indexOf('.');
    if (localedef.isEmpty() || dot < 0) {
        return false;
    }
    QProcess p;
    p.start(localedef, {"-i", name.left(dot), "-f", name.mid(dot + 1), folder + "/" + name});
    return p.waitForFinished(120000) && QFile::exists(folder + "/" + name + "/LC_COLLATE");
}

}  // namespace

TestLocale::TestLocale(const QString& name) : name_(name) {
    if (systemHas(name)) {
        available_ = true;
        return;
    }
    static QTemporaryDir made;
    if (made.isValid() && (QFile::exists(made.filePath(name)) || make(name, made.path()))) {
        path_ = made.path();
        available_ = true;
    }
}

QProcessEnvironment TestLocale::environment(QProcessEnvironment base) const {
    base.insert("LC_ALL", name_);
    if (!path_.isEmpty()) {
        base.insert("LOCPATH", path_);
    }
    return base;
}

ScopedEnvironment::~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->second) {
            qputenv(it->first.constData(), *it->second);
        } else {
            qunsetenv(it->first.constData());
        }
    }
}

void ScopedEnvironment::set(const char* variable, const QByteArray& value) {
    saved_.emplace_back(variable, qEnvironmentVariableIsSet(variable)
                                      ? std::optional<QByteArray>(qgetenv(variable))
                                      : std::nullopt);
    if (value.isNull()) {
        qunsetenv(variable);
    } else {
        qputenv(variable, value);
    }
}

void ScopedEnvironment::choose(const TestLocale& locale) {
    set("LC_ALL", locale.name().toLatin1());
    if (!locale.path().isEmpty()) {
        set("LOCPATH", QFile::encodeName(locale.path()));
    }
}

QStringList icuOrder(QStringList lines, const char* language, bool numeric) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(language, &status);
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("ICU has no collator for ") + language);
    }
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, numeric ? UCOL_ON : UCOL_OFF, &status);
    auto compare = [&](const QString& a, const QString& b, UCollationStrength strength) {
        ucol_setStrength(collator, strength);
        return ucol_strcoll(collator, reinterpret_cast<const UChar*>(a.utf16()), a.size(),
                            reinterpret_cast<const UChar*>(b.utf16()), b.size());
    };
    std::sort(lines.begin(), lines.end(), [&](const QString& a, const QString& b) {
        const UCollationResult withoutCase = compare(a, b, UCOL_SECONDARY);
        if (withoutCase != UCOL_EQUAL) {
            return withoutCase == UCOL_LESS;
        }
        const UCollationResult byCase = compare(a, b, UCOL_TERTIARY);
        if (byCase != UCOL_EQUAL) {
            return byCase == UCOL_LESS;
        }
        return u_strCompare(reinterpret_cast<const UChar*>(a.utf16()), a.size(),
                            reinterpret_cast<const UChar*>(b.utf16()), b.size(), true) < 0;
    });
    ucol_close(collator);
    return lines;
}

}  // namespace bramlotte::testmaps
