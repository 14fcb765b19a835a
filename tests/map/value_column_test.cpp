// A column keeps every value as it was given: null apart from empty text,
// whole numbers, repeated and distinct values, after writes and reordering.
#include "map/store/value_column.h"

#include <QDate>

#include <gtest/gtest.h>

using bramlotte::store::ValueColumn;

TEST(ValueColumn, TextAndOtherValuesRoundTrip) {
    ValueColumn c(false);
    const QList<QVariant> values = {
        QVariant(QString("Main St")), QVariant(),    QVariant(QString("")),
        QVariant(QString("Main St")), QVariant(2.5), QVariant(QDate(2024, 1, 2)),
        QVariant(QString("2.5"))};
    for (const QVariant& v : values) {
        c.append(v);
    }
    for (int i = 0; i < values.size(); ++i) {
        EXPECT_EQ(c.at(static_cast<size_t>(i)), values[i]) << i;
        EXPECT_EQ(c.at(static_cast<size_t>(i)).type(), values[i].type()) << i;
        EXPECT_EQ(c.at(static_cast<size_t>(i)).isNull(), values[i].isNull()) << i;
    }
    c.set(1, QVariant(QString("Oak Ave")));
    c.set(0, QVariant());
    c.reorder({6, 1, 0});
    EXPECT_EQ(c.at(0), QVariant(QString("2.5")));
    EXPECT_EQ(c.at(1), QVariant(QString("Oak Ave")));
    EXPECT_TRUE(c.at(2).isNull());
}

TEST(ValueColumn, WholeNumbersAndTheirNulls) {
    ValueColumn c(true);
    c.append(QVariant(7));
    c.append(QVariant());
    c.append(QVariant(0));
    c.append(QVariant(3000000000LL));
    EXPECT_EQ(c.at(0).toLongLong(), 7);
    EXPECT_TRUE(c.at(1).isNull());
    EXPECT_FALSE(c.at(2).isNull());
    EXPECT_EQ(c.at(2).toLongLong(), 0);
    EXPECT_EQ(c.at(3).toLongLong(), 3000000000LL);
    c.reorder({3, 1});
    EXPECT_EQ(c.at(0).toLongLong(), 3000000000LL);
    EXPECT_TRUE(c.at(1).isNull());
}

TEST(ValueColumn, ManyDistinctTextsKeepTheirRows) {
    ValueColumn c(false);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 5000; ++i) {
            c.append(QVariant(QStringLiteral("Street %1").arg(round ? 4999 - i : i)));
        }
    }
    for (int i = 0; i < 5000; ++i) {
        ASSERT_EQ(c.at(static_cast<size_t>(i)).toString(), QStringLiteral("Street %1").arg(i));
        ASSERT_EQ(c.at(static_cast<size_t>(5000 + i)).toString(),
                  QStringLiteral("Street %1").arg(4999 - i));
    }
}

TEST(ValueColumn, WrittenWholeItKeepsEveryRowAndStillChanges) {
    ValueColumn c(false);
    for (const char* v : {"old", "old", "other", "old"}) {
        c.append(QVariant(QString(v)));
    }
    c.setMany({true, false, true}, {QVariant(" A1"), QVariant(), QVariant()});
    EXPECT_EQ(c.at(0), QVariant(" A1"));
    EXPECT_EQ(c.at(1), QVariant("old"));
    EXPECT_TRUE(c.at(2).isNull());  // written as null
    EXPECT_EQ(c.at(3), QVariant("old"));
    c.append(QVariant("new"));
    c.set(1, QVariant(" B2"));
    c.reorder({4, 1, 0});
    EXPECT_EQ(c.at(0), QVariant("new"));
    EXPECT_EQ(c.at(1), QVariant(" B2"));
    EXPECT_EQ(c.at(2), QVariant(" A1"));
}
