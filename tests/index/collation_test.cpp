// The order of the result list under each kind of locale, checked against
// ICU's own collator for the locale's language, and which environment
// variable chooses the locale.
#include "index/collation.h"
#include "index/index_formatting.h"
#include "tests/testing/locales.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/testing/qt_printers.h"

using namespace bramlotte::index;
using bramlotte::testmaps::icuOrder;
using bramlotte::testmaps::ScopedEnvironment;
using bramlotte::testmaps::TestLocale;

namespace {

// Accents, case variants, and the letters Finnish puts after Z.
const QStringList kLines = {"Zeta Rd... A1",      "élan Way... B2",
                            "Elan Way... C3",     "AURORE... A1",
                            "Address... B2",      "aurore... A1",
                            "Öljytie... C3",      "Oksapolku... A1",
                            "Ääkkösraitti... B2", "Aapiskuja... C3",
                            "Zoo... A1",          "zoo... A1",
                            "Ostring... B2",      "quai de l'hirondelle... I13",
                            "Quai Antoine... B2", "Übelgasse... C3",
                            "Ylätie... A1",       "Åsgatan... B2",
                            "Éclair... C3"};

struct LocaleCase {
    const char* locale;
    const char* language;  // ICU's
};
void PrintTo(const LocaleCase& c, std::ostream* os) {
    *os << c.locale;
}

class ResultListOrder : public ::testing::TestWithParam<LocaleCase> {};

}  // namespace

TEST_P(ResultListOrder, IsIcusOrderForTheLocalesLanguage) {
    const TestLocale locale(GetParam().locale);
    if (!locale.available()) {
        GTEST_SKIP() << "the locale " << GetParam().locale << " cannot be made here";
    }
    ScopedEnvironment environment;
    environment.set("LC_COLLATE", QByteArray());
    environment.set("LANG", QByteArray());
    environment.choose(locale);
    ResultList list;
    list.add(kLines.mid(0, 10));
    list.add(kLines.mid(10));  // a second add sorts everything again
    EXPECT_EQ(list.lines(), icuOrder(kLines, GetParam().language));

    // Whatever the language: without regard to case; lines that differ in
    // case alone side by side, lowercase first (whichever was added first).
    const QStringList& l = list.lines();
    EXPECT_LT(l.indexOf("Address... B2"), l.indexOf("AURORE... A1"));
    EXPECT_EQ(l.indexOf("AURORE... A1"), l.indexOf("aurore... A1") + 1);
    EXPECT_EQ(l.indexOf("Zoo... A1"), l.indexOf("zoo... A1") + 1);
    EXPECT_LT(l.indexOf("élan Way... B2"), l.indexOf("Zeta Rd... A1"));
    EXPECT_LT(l.indexOf("quai de l'hirondelle... I13"), l.indexOf("Zeta Rd... A1"));
    // Finnish alone puts Ä and Ö after Z.
    const bool finnish = QByteArray(GetParam().language) == "fi";
    EXPECT_EQ(l.indexOf("Öljytie... C3") > l.indexOf("Zoo... A1"), finnish);
    EXPECT_EQ(l.indexOf("Ääkkösraitti... B2") > l.indexOf("Zoo... A1"), finnish);

    // A long list has its keys made on two threads, into two blocks: the
    // order is the same, also of one line many times over in two cases.
    QStringList many;
    for (int round = 0; round < 1100; ++round) {
        many << kLines.at(round % kLines.size()) + QString::number(round % 7) << kLines;
    }
    ASSERT_GE(many.size(), 20000);
    ResultList longList;
    longList.add(many);
    EXPECT_EQ(longList.lines(), icuOrder(many, GetParam().language));
}

INSTANTIATE_TEST_SUITE_P(Locales, ResultListOrder,
                         ::testing::Values(LocaleCase{"C", "root"}, LocaleCase{"POSIX", "root"},
                                           LocaleCase{"C.UTF-8", "root"},
                                           LocaleCase{"en_US.UTF-8", "en"},
                                           LocaleCase{"de_DE.UTF-8", "de"},
                                           LocaleCase{"fi_FI.UTF-8", "fi"}),
                         [](const auto& info) {
                             QString name = QString(info.param.locale).replace('.', '_');
                             return name.remove('-').toStdString();
                         });

TEST(Collation, LcAllThenLcCollateThenLangChooseTheLocale) {
    ScopedEnvironment environment;
    environment.set("LC_ALL", QByteArray());
    environment.set("LC_COLLATE", QByteArray());
    environment.set("LANG", QByteArray());
    EXPECT_EQ(collationLocaleName(), "C");
    environment.set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(collationLocaleName(), "de_DE.UTF-8");
    environment.set("LC_COLLATE", "fi_FI.UTF-8");
    EXPECT_EQ(collationLocaleName(), "fi_FI.UTF-8");
    ResultList finnish;
    finnish.add({"Öljytie", "Zoo"});
    EXPECT_EQ(finnish.lines(), (QStringList{"Zoo", "Öljytie"}));
    environment.set("LC_ALL", "C");
    EXPECT_EQ(collationLocaleName(), "C");
    environment.set("LC_ALL", "");  // set but empty counts as unset
    EXPECT_EQ(collationLocaleName(), "fi_FI.UTF-8");

    // Names QLocale does not know, and modifiers, still find their collation.
    const QString text = "Öljytie";
    EXPECT_EQ(Collator("xx_YY.UTF-8").sortKey(text), Collator("C").sortKey(text));
    EXPECT_EQ(Collator("fi_FI.UTF-8@euro").sortKey(text), Collator("fi").sortKey(text));
    EXPECT_NE(Collator("fi").sortKey(text), Collator("C").sortKey(text));
}

// Headings follow the order's own collation: where a locale treats an
// accented letter as the letter itself it falls under that letter, where it
// is a letter of its own (Finnish Ä, Ö, Å after Z) it heads its own group.
TEST(Headings, EachLetterOnceBeforeItsFirstLineByTheLocalesCollation) {
    struct Case {
        const char* locale;
        QStringList headings;
    };
    const std::vector<Case> cases = {
        {"C", {"0-9", "A", "E", "O", "Q", "U", "Y", "Z"}},
        {"en_US.UTF-8", {"0-9", "A", "E", "O", "Q", "U", "Y", "Z"}},
        // Finnish counts Ü as Y: "Übelgasse" stands under Y.
        {"fi_FI.UTF-8", {"0-9", "A", "E", "O", "Q", "Y", "Z", "Å", "Ä", "Ö"}},
    };
    for (const Case& c : cases) {
        const TestLocale locale(c.locale);
        if (!locale.available()) {
            GTEST_SKIP() << c.locale << " cannot be made here";
        }
        ScopedEnvironment environment;
        environment.choose(locale);
        ResultList list;
        list.add(kLines + QStringList{"12 Rue... A1", "3 Place... B2"});
        QStringList headings;
        QStringList lines;
        QString current;
        for (const IndexLine& line : WithHeadings(list)) {
            if (line.heading) {
                headings << line.text;
                current = line.text;
            } else {
                // Every line stands under the heading of its own letter.
                EXPECT_EQ(Collator(c.locale).headingLetter(line.text), current)
                    << c.locale << ": " << line.text.toStdString();
                lines << line.text;
            }
        }
        EXPECT_EQ(headings, c.headings) << c.locale;
        EXPECT_EQ(lines, list.lines()) << c.locale;  // the lines themselves as they were
    }
    const Collator root("C");
    EXPECT_EQ(root.headingLetter("élan Way"), "E");
    EXPECT_EQ(root.headingLetter(QString::fromUtf8("e\u0301lan")), "E");  // combining accent
    EXPECT_EQ(root.headingLetter("'s-Gravenhage"), "'");
    EXPECT_EQ(root.headingLetter(""), "");
}

// A GeoPackage and a FlatGeobuf of one map hand over their streets in other
// orders: lines that differ in case alone, or in how an accent is written,
// come out in one order whatever order they were added in, by case
// (lowercase first), then by code point; the same text twice side by side.
TEST(Collation, LinesEqualButForCaseInOneOrderWhateverOrderTheyCameIn) {
    const QString precomposed = QString::fromUtf8("Rue de l'\u00c9glise... A1");
    const QString decomposed = QString::fromUtf8("Rue de l'E\u0301glise... A1");
    const QStringList lines = {"Rue de la Pise... B2",
                               "Rue De la Pise... B2",
                               "RUE DE LA PISE... B2",
                               "rue de la pise... B2",
                               "Rue de la Paix... J3",
                               precomposed,
                               decomposed,
                               "Rue de la Pise... B2",
                               "Quai Antoine... B2",
                               "quai antoine... B2",
                               "Öljytie... C3",
                               "öljytie... C3"};
    for (const LocaleCase& c : {LocaleCase{"C.UTF-8", "root"}, LocaleCase{"de_DE.UTF-8", "de"},
                                LocaleCase{"fi_FI.UTF-8", "fi"}}) {
        const TestLocale locale(c.locale);
        if (!locale.available()) {
            continue;
        }
        ScopedEnvironment environment;
        environment.choose(locale);
        ResultList reference;
        reference.add(lines);
        const QStringList& l = reference.lines();
        EXPECT_EQ(l, icuOrder(lines, c.language)) << c.locale;
        const int pise = l.indexOf("rue de la pise... B2");
        EXPECT_EQ(l.mid(pise, 5), (QStringList{"rue de la pise... B2", "Rue de la Pise... B2",
                                               "Rue de la Pise... B2", "Rue De la Pise... B2",
                                               "RUE DE LA PISE... B2"}))
            << c.locale;
        EXPECT_EQ(l.indexOf(precomposed), l.indexOf(decomposed) + 1) << c.locale;
        EXPECT_EQ(l.indexOf("Quai Antoine... B2"), l.indexOf("quai antoine... B2") + 1);

        std::mt19937 random(11);
        QStringList shuffled = lines;
        for (int round = 0; round < 20; ++round) {
            std::shuffle(shuffled.begin(), shuffled.end(), random);
            ResultList list;
            list.add(shuffled.mid(0, 5));
            list.add(shuffled.mid(5));
            EXPECT_EQ(list.lines(), l) << c.locale << " round " << round;
        }
        // Keys made on two threads: the same lines forwards and backwards.
        QStringList many;
        for (int round = 0; round < 2000; ++round) {
            many << lines.at(round % lines.size()) + QString::number(round % 3) << lines;
        }
        ASSERT_GE(many.size(), 20000);
        QStringList backwards = many;
        std::reverse(backwards.begin(), backwards.end());
        ResultList forwardList, backwardList;
        forwardList.add(many);
        backwardList.add(backwards);
        EXPECT_EQ(forwardList.lines(), backwardList.lines()) << c.locale;
        EXPECT_EQ(forwardList.lines(), icuOrder(many, c.language)) << c.locale;
    }
}

// Digits as numbers, on request: "Rue 2" before "Rue 10", otherwise the
// locale's order (Finnish Ö after Z), and the headings still "0-9" first.
TEST(Collation, NumericOptionOrdersDigitsAsNumbers) {
    const QStringList lines = {"10th Street... A1",    "2nd Street... B2", "Rue 10... C3",
                               "Rue 2... A1",          "Rue 02... A1",     "rue 2... A1",
                               "Avenue 100... A1",     "Avenue 20... A1",  "Avenue 3b... A1",
                               "Rue de la Paix... J3", "Zoo... A1",        "Öljytie... C3"};
    for (const LocaleCase& c : {LocaleCase{"C.UTF-8", "root"}, LocaleCase{"de_DE.UTF-8", "de"},
                                LocaleCase{"fi_FI.UTF-8", "fi"}}) {
        const TestLocale locale(c.locale);
        if (!locale.available()) {
            continue;
        }
        ScopedEnvironment environment;
        environment.choose(locale);
        ResultList byDigits;
        byDigits.add(lines);
        EXPECT_FALSE(byDigits.options().numeric);
        EXPECT_EQ(byDigits.lines(), icuOrder(lines, c.language)) << c.locale;
        EXPECT_LT(byDigits.lines().indexOf("10th Street... A1"),
                  byDigits.lines().indexOf("2nd Street... B2"));

        ResultList numeric;
        numeric.add(lines.mid(6));
        numeric.add(lines.mid(0, 6), CollationOptions{true});
        EXPECT_TRUE(numeric.options().numeric);
        const QStringList& n = numeric.lines();
        EXPECT_EQ(n, icuOrder(lines, c.language, true)) << c.locale;
        EXPECT_LT(n.indexOf("2nd Street... B2"), n.indexOf("10th Street... A1"));
        EXPECT_LT(n.indexOf("Rue 2... A1"), n.indexOf("Rue 10... C3"));
        EXPECT_LT(n.indexOf("Avenue 3b... A1"), n.indexOf("Avenue 20... A1"));
        EXPECT_LT(n.indexOf("Avenue 20... A1"), n.indexOf("Avenue 100... A1"));
        EXPECT_EQ(n.indexOf("Öljytie... C3") > n.indexOf("Zoo... A1"),
                  QByteArray(c.language) == "fi");
        // "02" and "2" are one number: by case, then by code point.
        EXPECT_EQ(n.mid(n.indexOf("rue 2... A1"), 3),
                  (QStringList{"rue 2... A1", "Rue 02... A1", "Rue 2... A1"}))
            << c.locale;

        QStringList headings;
        for (const IndexLine& line : WithHeadings(numeric)) {
            if (line.heading) {
                headings << line.text;
            }
        }
        EXPECT_EQ(headings,
                  (QByteArray(c.language) == "fi" ? QStringList{"0-9", "A", "R", "Z", "Ö"}
                                                  : QStringList{"0-9", "A", "O", "R", "Z"}))
            << c.locale;
    }
}
