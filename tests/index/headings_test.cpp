// Letter headings of the index: the locale's own index letters and case,
// checked against ICU's alphabetic index of each language, and each heading
// once, in the order of the lines, whatever the lines hold.
#include "index/collation.h"
#include "index/index_formatting.h"
#include "tests/testing/locales.h"

#include <gtest/gtest.h>
#include <unicode/alphaindex.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "tests/testing/qt_printers.h"

using namespace bramlotte::index;
using bramlotte::testmaps::ScopedEnvironment;
using bramlotte::testmaps::TestLocale;

namespace {

// Real street names whose first letters the languages treat differently.
const QStringList kStreets = {
    "İstiklal Caddesi",
    "ilk Sokak",
    "Ilgaz Caddesi",
    "ılıca Sokağı",
    "Irmak Sokak",
    "Çiçek Pasajı",
    "Cumhuriyet Caddesi",
    "Şişli Meydanı",
    "Selamsız Caddesi",
    "Ğazi Sokağı",
    "Gazi Bulvarı",
    "Öğretmenler Caddesi",
    "Osmanlı Sokak",
    "Üsküdar Meydanı",
    "Uzun Sokak",
    "Åggelbyntie",
    "Aleksanterinkatu",
    "Äyritie",
    "Öljytie",
    "Yrjönkatu",
    "Zoologinkatu",
    "Æblehaven",
    "Østerbrogade",
    "Ährenweg",
    "Ölmühlenweg",
    "Überseering",
    "Ñuñoa",
    "Nueva",
    "Llano Amarillo",
    "Lavapiés",
    "Chamartín",
    "Cava Baja",
    "École de Médecine",
    "Élysée",
    "Œuvre",
    "Oberkampf",
    "25 de Abril",
    "1er Mai",
    "10th Street",
    "2nd Avenue",
};

struct LocaleCase {
    const char* locale;
    const char* language;  // ICU's
    // Hand-written: streets and the heading each must stand under.
    std::vector<std::pair<const char*, const char*>> under;
    QStringList afterZ;  // the headings that follow "Z", in order
};

const std::vector<LocaleCase> kLocales = {
    {"tr_TR.UTF-8",
     "tr",
     {{"ilk Sokak", "İ"},
      {"İstiklal Caddesi", "İ"},
      {"Ilgaz Caddesi", "I"},
      {"ılıca Sokağı", "I"},
      {"Irmak Sokak", "I"},
      {"Çiçek Pasajı", "Ç"},
      {"Şişli Meydanı", "Ş"},
      {"Öğretmenler Caddesi", "Ö"},
      {"Üsküdar Meydanı", "Ü"},
      {"25 de Abril", "0-9"}},
     {}},
    {"fi_FI.UTF-8",
     "fi",
     {{"Äyritie", "Ä"}, {"Åggelbyntie", "Å"}, {"Überseering", "Y"}, {"Öljytie", "Ö"}},
     {"Å", "Ä", "Ö"}},
    {"sv_SE.UTF-8",
     "sv",
     {{"Åggelbyntie", "Å"}, {"Æblehaven", "Ä"}, {"Østerbrogade", "Ö"}, {"Überseering", "Y"}},
     {"Å", "Ä", "Ö"}},
    {"de_DE.UTF-8",
     "de",
     {{"Ährenweg", "A"}, {"Ölmühlenweg", "O"}, {"Überseering", "U"}, {"ilk Sokak", "I"}},
     {}},
    {"fr_FR.UTF-8",
     "fr",
     {{"École de Médecine", "E"}, {"Élysée", "E"}, {"Œuvre", "O"}, {"1er Mai", "0-9"}},
     {}},
    {"es_ES.UTF-8",
     "es",
     {{"Ñuñoa", "Ñ"}, {"Nueva", "N"}, {"Llano Amarillo", "L"}, {"Chamartín", "C"}},
     {}},
    {"C.UTF-8",
     "root",
     {{"Æblehaven", "A"},
      {"Østerbrogade", "O"},
      {"ılıca Sokağı", "I"},
      {"İstiklal Caddesi", "I"},
      {"Ñuñoa", "N"},
      {"10th Street", "0-9"}},
     {}},
};

// The result list of `lines` and its headed lines under `locale`.
struct Headed {
    ResultList list;
    std::vector<IndexLine> lines;
    QStringList headings;
};
Headed headed(const QStringList& lines, CollationOptions options = {}) {
    Headed h;
    h.list.add(lines, options);
    h.lines = WithHeadings(h.list);
    for (const IndexLine& line : h.lines) {
        if (line.heading) {
            h.headings << line.text;
        }
    }
    return h;
}

// Every heading once, the lines as the list holds them, and each line under
// the heading it has alone (with a collator of its own).
void expectHeadingsOnceInOrder(const Headed& h, const QString& locale, CollationOptions options,
                               bool eachAlone = true) {
    const std::set<QString> distinct(h.headings.begin(), h.headings.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(h.headings.size()))
        << locale.toStdString() << ": " << h.headings.join(' ').toStdString();
    const Collator collator(locale, options);
    QStringList lines;
    QString current;
    for (const IndexLine& line : h.lines) {
        if (line.heading) {
            current = line.text;
            continue;
        }
        lines << line.text;
        if (eachAlone) {
            const QString own = collator.headingLetter(line.text);
            // A line without a heading of its own (it starts with a space)
            // stands before every heading.
            EXPECT_EQ(own, own.isEmpty() ? QString() : current)
                << locale.toStdString() << ": " << line.text.toStdString();
        }
    }
    EXPECT_EQ(lines, h.list.lines()) << locale.toStdString();
}

class Headings : public ::testing::TestWithParam<LocaleCase> {};

}  // namespace

TEST_P(Headings, AreTheLocalesIndexLettersAsIcusAlphabeticIndexHasThem) {
    const LocaleCase& c = GetParam();
    const TestLocale locale(c.locale);
    if (!locale.available()) {
        GTEST_SKIP() << "the locale " << c.locale << " cannot be made here";
    }
    ScopedEnvironment environment;
    environment.choose(locale);
    const Headed h = headed(kStreets);
    expectHeadingsOnceInOrder(h, c.locale, {});

    // ICU's index of the language, built here on its own.
    UErrorCode status = U_ZERO_ERROR;
    icu::AlphabeticIndex icuIndex(icu::Locale(c.language), status);
    std::unique_ptr<icu::AlphabeticIndex::ImmutableIndex> buckets(
        icuIndex.buildImmutableIndex(status));
    ASSERT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    QStringList icuLetters;  // the bucket labels, in order
    for (int32_t b = 0; b < buckets->getBucketCount(); ++b) {
        const icu::UnicodeString& label = buckets->getBucket(b)->getLabel();
        icuLetters << QString::fromUtf16(label.getBuffer(), label.length());
    }
    std::map<QString, QString> headingOf;
    QString current;
    for (const IndexLine& line : h.lines) {
        if (line.heading) {
            current = line.text;
        } else {
            headingOf[line.text] = current;
        }
    }
    for (const QString& street : kStreets) {
        const icu::UnicodeString text(reinterpret_cast<const UChar*>(street.utf16()),
                                      street.size());
        const int32_t b = buckets->getBucketIndex(text, status);
        const icu::AlphabeticIndex::Bucket* bucket = buckets->getBucket(b);
        ASSERT_NE(bucket, nullptr);
        if (bucket->getLabelType() == U_ALPHAINDEX_NORMAL) {
            EXPECT_EQ(headingOf[street], icuLetters.at(b))
                << c.locale << ": " << street.toStdString();
        } else {
            // Before the first letter: the streets that start with a digit.
            EXPECT_EQ(bucket->getLabelType(), U_ALPHAINDEX_UNDERFLOW) << street.toStdString();
            EXPECT_TRUE(street.at(0).isDigit()) << street.toStdString();
            EXPECT_EQ(headingOf[street], "0-9") << c.locale << ": " << street.toStdString();
        }
    }
    // The headings in the order of ICU's letters.
    QStringList letters = h.headings;
    letters.removeAll("0-9");
    QStringList inIcuOrder = icuLetters;
    inIcuOrder.erase(std::remove_if(inIcuOrder.begin(), inIcuOrder.end(),
                                    [&](const QString& l) { return !letters.contains(l); }),
                     inIcuOrder.end());
    EXPECT_EQ(letters, inIcuOrder) << c.locale;
    EXPECT_EQ(h.headings.first(), "0-9");

    for (const auto& [street, heading] : c.under) {
        EXPECT_EQ(headingOf[QString::fromUtf8(street)], QString::fromUtf8(heading))
            << c.locale << ": " << street;
    }
    EXPECT_EQ(h.headings.mid(h.headings.indexOf("Z") + 1), c.afterZ) << c.locale;
}

INSTANTIATE_TEST_SUITE_P(Locales, Headings, ::testing::ValuesIn(kLocales), [](const auto& info) {
    QString name = QString(info.param.locale).replace('.', '_');
    return name.remove('-').toStdString();
});

// Turkish, where the bug was: dotless I and dotted İ are two letters of
// their own, in both cases, each heading once, I before İ.
TEST(Headings, TurkishDottedAndDotlessIEachOnce) {
    const TestLocale locale("tr_TR.UTF-8");
    if (!locale.available()) {
        GTEST_SKIP() << "the locale tr_TR.UTF-8 cannot be made here";
    }
    ScopedEnvironment environment;
    environment.choose(locale);
    const Headed h = headed({"ilk Sokak", "İnönü Caddesi", "Ilgaz Caddesi", "ılıca Sokağı",
                             "Irmak Sokak", "iskele Caddesi", "Işık Sokak", "İzmir Yolu",
                             "Hürriyet Caddesi", "Jandarma Sokak"});
    EXPECT_EQ(h.headings, (QStringList{"H", "I", "İ", "J"}));
    QStringList underI, underDottedI;
    QString current;
    for (const IndexLine& line : h.lines) {
        if (line.heading) {
            current = line.text;
        } else if (current == "I") {
            underI << line.text;
        } else if (current == "İ") {
            underDottedI << line.text;
        }
    }
    EXPECT_EQ(underI, (QStringList{"Ilgaz Caddesi", "ılıca Sokağı", "Irmak Sokak", "Işık Sokak"}));
    EXPECT_EQ(underDottedI,
              (QStringList{"ilk Sokak", "İnönü Caddesi", "iskele Caddesi", "İzmir Yolu"}));
}

// Names of other scripts in a French index stand under the letters of their
// own alphabets after "Z"; punctuation under its first character before the
// digits; a name starting with a space under nothing, first.
TEST(Headings, OtherScriptsAndPunctuationInAFrenchIndex) {
    const TestLocale locale("fr_FR.UTF-8");
    if (!locale.available()) {
        GTEST_SKIP() << "the locale fr_FR.UTF-8 cannot be made here";
    }
    ScopedEnvironment environment;
    environment.choose(locale);
    const QStringList lines = {
        "Rue de Moscou", "Москва",         "Ёлочная улица", "Невский проспект",
        "Αθηνάς",        "Άγιος Νικόλαος", "Ερμού",         "東京通り",
        "'s-Gravenhage", "(Ancienne) Rue", " Zoo",          "12 Rue",
        "Zénith",        "Ｑｕａｉ",       "ﬁlature",       "…"};
    const Headed h = headed(lines);
    expectHeadingsOnceInOrder(h, locale.name(), {});
    EXPECT_EQ(h.headings, (QStringList{".", "'", "(", "0-9", "F", "Q", "R", "Z", "Α", "Ε", "Е", "М",
                                       "Н", "東"}));
    EXPECT_EQ(h.lines.front().text, " Zoo");  // before the first heading
    const Collator french(locale.name());
    EXPECT_EQ(french.headingLetter("Άγιος Νικόλαος"), "Α");
    EXPECT_EQ(french.headingLetter("ёлка"), "Е");
    EXPECT_EQ(french.headingLetter(QString::fromUtf8("\u200BZénith")), "Z");  // ignorable first
}

// The invariant over mixed lists: random names from letters every locale
// here treats differently, digits, punctuation, spaces, marks and other
// scripts, in every locale, with digits as digits and as numbers.
TEST(Headings, EachOnceInTheOrderOfTheLinesOverMixedLists) {
    const QString alphabet = QString::fromUtf8(
        "aAeEéÉiIıİçÇşŞğĞöÖüÜåÅäÄæÆøØñÑlLcChHœŒßzZyY019 -'(.…Ａﬁ™½²αΆΩмЁя東一⼀㊀\u0301\u200B");
    std::mt19937 random(20240611);
    QStringList lines;
    for (int i = 0; i < 1500; ++i) {
        QString name;
        const int length = 1 + static_cast<int>(random() % 6);
        for (int k = 0; k < length; ++k) {
            name += alphabet.at(static_cast<int>(random() % alphabet.size()));
        }
        lines << name;
    }
    lines << kStreets << ""
          << "Rue 2"
          << "Rue 10"
          << "2nd Street"
          << "10th Street";
    int checked = 0;
    for (const LocaleCase& c : kLocales) {
        const TestLocale locale(c.locale);
        if (!locale.available()) {
            continue;
        }
        ScopedEnvironment environment;
        environment.choose(locale);
        for (const bool numeric : {false, true}) {
            const Headed h = headed(lines, CollationOptions{numeric});
            expectHeadingsOnceInOrder(h, c.locale, CollationOptions{numeric}, false);
            // Each line under the heading its run's headings give it.
            const HeadingLetters letters(c.locale, lines, CollationOptions{numeric});
            QString current;
            for (const IndexLine& line : h.lines) {
                if (line.heading) {
                    current = line.text;
                } else if (!letters.of(line.text).isEmpty()) {
                    EXPECT_TRUE(letters.same(letters.of(line.text), current))
                        << c.locale << ": " << line.text.toStdString() << " under "
                        << current.toStdString();
                }
            }
            EXPECT_TRUE(h.headings.contains("0-9"));
            ++checked;
        }
    }
    if (checked == 0) {
        GTEST_SKIP() << "none of the locales can be made here";
    }
}
