// Wrapping one index line: breaks at spaces, words broken only when longer
// than a line, never between the parts of one character.
#include "print/line_wrap.h"

#include "print/print_error.h"
#include "tests/testing/qt_printers.h"

#include <gtest/gtest.h>

using bramlotte::print::WrapText;

namespace {

// One millimetre per UTF-16 unit.
double units(const QString& text) {
    return text.size();
}

QStringList wrap(const QString& text, double first, double next) {
    return WrapText(text, first, next, units);
}

}  // namespace

TEST(LineWrap, BreaksAtSpacesWithNarrowerContinuationLines) {
    EXPECT_EQ(wrap("Main St... A1, B2", 20, 20), QStringList({"Main St... A1, B2"}));
    EXPECT_EQ(wrap("Main St... A1, B2", 17, 17), QStringList({"Main St... A1, B2"}));
    EXPECT_EQ(wrap("Main St... A1, B2", 16, 16), QStringList({"Main St... A1,", "B2"}));
    // The continuation width is what the later lines get.
    EXPECT_EQ(wrap("aaaa bbbb cccc dddd", 9, 4), QStringList({"aaaa bbbb", "cccc", "dddd"}));
    // Spaces at a break go; spaces inside a line and before the first word stay.
    EXPECT_EQ(wrap("  aa   bb    cc  ", 8, 8), QStringList({"  aa", "bb    cc"}));
    EXPECT_EQ(wrap("", 5, 5), QStringList({""}));
}

TEST(LineWrap, BreaksAWordLongerThanALineBetweenCharacters) {
    EXPECT_EQ(wrap("Rue ABCDEFGHIJ K", 4, 3), QStringList({"Rue", "ABC", "DEF", "GHI", "J K"}));
    // An accent made of two code units is never cut from its letter.
    const QString accented = QStringLiteral("a\u0301a\u0301a\u0301");
    const QString letter = QStringLiteral("a\u0301");
    EXPECT_EQ(wrap(accented, 3, 3), QStringList({letter, letter, letter}));
    // A word thousands of characters long still breaks into full lines.
    const QStringList pieces = wrap(QString(5000, QLatin1Char('x')), 7, 7);
    ASSERT_EQ(pieces.size(), 715);
    EXPECT_EQ(pieces.first(), QString(7, QLatin1Char('x')));
    EXPECT_EQ(pieces.last(), QString(2, QLatin1Char('x')));
}

TEST(LineWrap, RefusesALineWithoutRoomForOneCharacter) {
    EXPECT_THROW(wrap("ab", 0.5, 0.5), bramlotte::print::PrintError);
    EXPECT_THROW(wrap("abcd efgh", 4, 0.5), bramlotte::print::PrintError);
}
