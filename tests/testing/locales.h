// Locales for tests: C library locales, environment variables, and ICU's
// own order for a language.
#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace bramlotte::testmaps {

// A locale of the C library: the system's, or one made on the spot from the
// system's locale sources (Debian's "locales" package) in a folder that
// lasts as long as the test program.
class TestLocale {
  public:
    // `name` is C, POSIX, C.UTF-8 or language_TERRITORY.CHARMAP
    // ("fi_FI.UTF-8", "en_US.ISO-8859-1").
    explicit TestLocale(const QString& name);
    const QString& name() const { return name_; }
    // False when the system lacks the locale and it cannot be made.
    bool available() const { return available_; }
    // LOCPATH for a locale made here; empty for the system's own.
    const QString& path() const { return path_; }
    // `base` with LC_ALL choosing this locale (and LOCPATH finding it).
    QProcessEnvironment environment(
        QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;

  private:
    QString name_, path_;
    bool available_ = false;
};

// Sets variables of this process's environment until it is destroyed, then
// puts back what was there.
class ScopedEnvironment {
  public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment();
    // A null `value` unsets the variable.
    void set(const char* variable, const QByteArray& value);
    // LC_ALL choosing `locale` (and LOCPATH finding it).
    void choose(const TestLocale& locale);

  private:
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> saved_;
};

// `lines` sorted by ICU's collator for `language` ("root", "fi") without
// regard to case (secondary strength), lines equal there by case (tertiary
// strength), then by code point; digits as numbers where `numeric`: the
// reference for the index's order.
QStringList icuOrder(QStringList lines, const char* language, bool numeric = false);

}  // namespace bramlotte::testmaps
