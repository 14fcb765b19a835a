// The order of the result list under each kind of locale, checked against
// ICU's own collator for the locale's language, and which environment
// variable chooses the locale.
#include "index/collation.h"
#include "index/index_formatting.h"
#include "tests/testing/locales.h"

#include <gtest/gtest.h>

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

    // Whatever the language: without regard to case, ties in the order added.
    const QStringList& l = list.lines();
    EXPECT_LT(l.indexOf("Address... B2"), l.indexOf("AURORE... A1"));
    EXPECT_EQ(l.indexOf("aurore... A1"), l.indexOf("AURORE... A1") + 1);
    EXPECT_EQ(l.indexOf("zoo... A1"), l.indexOf("Zoo... A1") + 1);
    EXPECT_LT(l.indexOf("élan Way... B2"), l.indexOf("Zeta Rd... A1"));
    EXPECT_LT(l.indexOf("quai de l'hirondelle... I13"), l.indexOf("Zeta Rd... A1"));
    // Finnish alone puts Ä and Ö after Z.
    const bool finnish = QByteArray(GetParam().language) == "fi";
    EXPECT_EQ(l.indexOf("Öljytie... C3") > l.indexOf("Zoo... A1"), finnish);
    EXPECT_EQ(l.indexOf("Ääkkösraitti... B2") > l.indexOf("Zoo... A1"), finnish);

    // A long list has its keys made on two threads, into two blocks: the
    // order is the same, ties (one line many times over) in the order added.
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
