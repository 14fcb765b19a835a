// Text forms of values under a fixed locale, and what counts as blank.
#include "index/text_forms.h"

#include <QDate>
#include <QLocale>

#include <gtest/gtest.h>

#include "tests/testing/qt_printers.h"

using namespace bramlotte::index;

TEST(TextForms, NumbersAndDatesFollowTheLocale) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(textForm(QVariant(12)), "12");
    EXPECT_EQ(textForm(QVariant(1234567LL)), "1234567");  // no grouping
    EXPECT_EQ(textForm(QVariant(-3)), "-3");
    EXPECT_EQ(textForm(QVariant(2.5)), "2,5");
    EXPECT_EQ(textForm(QVariant(1234.25)), "1234,25");
    EXPECT_EQ(textForm(QVariant(QDate(2024, 3, 9))), "09.03.24");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(textForm(QVariant(2.5)), "2.5");
    EXPECT_EQ(textForm(QVariant(QDate(2024, 3, 9))), "3/9/24");
    EXPECT_EQ(textForm(QVariant(true)), "True");
    EXPECT_EQ(textForm(QVariant(QString(" A1 "))), " A1 ");
    QLocale::setDefault(saved);
}

TEST(TextForms, BlankIsNullOrOnlySpaces) {
    EXPECT_TRUE(isBlank(QVariant()));
    EXPECT_TRUE(isBlank(QVariant(QString())));
    EXPECT_TRUE(isBlank(QVariant(QString(""))));
    EXPECT_TRUE(isBlank(QVariant(QString("   "))));
    EXPECT_FALSE(isBlank(QVariant(QString("\t"))));
    EXPECT_FALSE(isBlank(QVariant(QString(" a "))));
    EXPECT_FALSE(isBlank(QVariant(0)));
    EXPECT_EQ(trimSpaces("  a\t b  "), "a\t b");
}
