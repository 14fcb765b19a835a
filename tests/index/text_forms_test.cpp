// Text forms of values under a fixed locale, and what counts as blank.
#include "index/text_forms.h"
#include "tests/testing/dialog_fixture.h"

#include <QDate>
#include <QListView>
#include <QLocale>
#include <QRadioButton>
#include <QStringListModel>

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

#include "tests/testing/qt_printers.h"

using namespace bramlotte::index;

namespace {

// `text` without sign, decimal mark, or leading and trailing zeros.
QString significantDigits(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit()) {
            digits += c;
        }
    }
    while (digits.startsWith('0')) {
        digits.remove(0, 1);
    }
    while (digits.endsWith('0')) {
        digits.chop(1);
    }
    return digits;
}

// The digits of the shortest text that reads back as `value`, as the C++
// library's own shortest conversion finds them.
QString shortestDigits(double value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    const QString written = QString::fromLatin1(text, static_cast<int>(end.ptr - text));
    return significantDigits(written.left(written.indexOf('e')));
}

class RestoreLocale {
  public:
    ~RestoreLocale() { QLocale::setDefault(saved_); }

  private:
    QLocale saved_;
};

}  // namespace

TEST(TextForms, NumbersAndDatesFollowTheLocale) {
    const RestoreLocale restore;
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
}

TEST(TextForms, RealsInPlainDecimalNotation) {
    const RestoreLocale restore;
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(textForm(QVariant(2000000.0)), "2000000");
    EXPECT_EQ(textForm(QVariant(1500000.0)), "1500000");
    EXPECT_EQ(textForm(QVariant(1e-05)), "0.00001");
    EXPECT_EQ(textForm(QVariant(0.1 + 0.2)), "0.30000000000000004");
    EXPECT_EQ(textForm(QVariant(0.1)), "0.1");
    EXPECT_EQ(textForm(QVariant(-0.0)), "-0");
    EXPECT_EQ(textForm(QVariant(1e300)), "1" + QString(300, '0'));
    EXPECT_EQ(textForm(QVariant(5e-324)), "0." + QString(323, '0') + "5");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(textForm(QVariant(2000000.0)), "2000000");
    EXPECT_EQ(textForm(QVariant(1e-05)), "0,00001");
    EXPECT_EQ(textForm(QVariant(-1234567.5)), "-1234567,5");
    EXPECT_EQ(textForm(QVariant(0.1 + 0.2)), "0,30000000000000004");
}

TEST(TextForms, RealsReadBackAsTheSameNumberFromTheFewestDigits) {
    const RestoreLocale restore;
    std::vector<double> values = {1e300,
                                  5e-324,
                                  -0.0,
                                  0.0,
                                  0.1 + 0.2,
                                  2e6,
                                  1e-5,
                                  1e21,
                                  1e22,
                                  1.7976931348623157e308,
                                  2.2250738585072014e-308,
                                  -123.456};
    std::mt19937_64 random(2003);
    while (values.size() < 3000) {
        const uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value)) {
            values.push_back(value);
        }
    }
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany)}) {
        QLocale::setDefault(locale);
        for (const double value : values) {
            const QString text = textForm(QVariant(value));
            SCOPED_TRACE(locale.name().toStdString() + " " + text.toStdString());
            EXPECT_FALSE(text.contains('e') || text.contains('E'));
            EXPECT_FALSE(text.contains(locale.groupSeparator()));
            bool ok = false;
            const double back = locale.toDouble(text, &ok);
            ASSERT_TRUE(ok);
            EXPECT_EQ(back, value);
            EXPECT_EQ(std::signbit(back), std::signbit(value));
            if (value != 0) {
                EXPECT_EQ(significantDigits(text), shortestDigits(value));
            }
        }
    }
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

using RealFieldTest = bramlotte::testmaps::DialogFixture;

// Keys and items from Real fields of a GeoPackage, as the window output lists them.
TEST_F(RealFieldTest, KeysAndItemsInPlainDecimals) {
    using bramlotte::testmaps::memoryLayer;
    using bramlotte::testmaps::writeGeoPackage;
    const RestoreLocale restore;
    const QString path = dir_.filePath("reals.gpkg");
    writeGeoPackage(*memoryLayer("pages", "Polygon", {"PAGE:double"},
                                 {{"POLYGON((0 0,10 0,10 10,0 10,0 0))", {2000000.0}},
                                  {"POLYGON((10 0,20 0,20 10,10 10,10 0))", {1e-05}}}),
                    path, "pages");
    writeGeoPackage(
        *memoryLayer("streets", "LineString", {"name:double"},
                     {{"LINESTRING(5 5,15 5)", {1e21}}, {"LINESTRING(1 1,2 2)", {-0.5}}}),
        path, "streets");
    bramlotte::dialog::frmMain& d = open({path});
    chooseLayer1("pages", "PAGE");
    chooseLayer2("streets", "name");
    d.optWindow->setChecked(true);
    const auto shown = [&] {
        EXPECT_EQ(pressBuildIndex().result, bramlotte::buildrun::BuildOutcome::Result::Built);
        return static_cast<QStringListModel*>(d.lstOut->model())->stringList();
    };
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(shown(),
              (QStringList{"-0.5... 2000000", "1000000000000000000000... 2000000, 0.00001"}));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(shown(),
              (QStringList{"-0,5... 2000000", "1000000000000000000000... 2000000, 0,00001"}));
}
