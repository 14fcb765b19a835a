#include "tests/testing/same_rows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace bramlotte::testmaps {
namespace {

// The same value of the same type; floating-point numbers bit for bit (a
// QVariant compares them within a tolerance), any two NaNs alike.
bool sameValue(const QVariant& g, const QVariant& w) {
    if (g.type() != w.type() || g.isNull() != w.isNull()) {
        return false;
    }
    if (g.type() == QVariant::Double && !g.isNull()) {
        const double a = g.toDouble(), b = w.toDouble();
        return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
    }
    return g == w;
}

}  // namespace

void expectSameRows(const store::StoreRows& got, const store::StoreRows& want) {
    ASSERT_EQ(got.ids, want.ids);
    EXPECT_EQ(got.skipped.unreadable.lowestIds, want.skipped.unreadable.lowestIds);
    EXPECT_EQ(got.skipped.nonFinite.lowestIds, want.skipped.nonFinite.lowestIds);
    EXPECT_EQ(got.skipped.degenerate.lowestIds, want.skipped.degenerate.lowestIds);
    EXPECT_EQ(got.skipped.count(), want.skipped.count());
    for (size_t row = 0; row < want.count(); ++row) {
        size_t gotSize = 0, wantSize = 0;
        const unsigned char* g = got.wkb(row, gotSize);
        const unsigned char* w = want.wkb(row, wantSize);
        ASSERT_EQ(got.hasGeometry(row), want.hasGeometry(row)) << row;
        ASSERT_EQ(std::vector<unsigned char>(g, g + gotSize),
                  std::vector<unsigned char>(w, w + wantSize))
            << row;
    }
    ASSERT_EQ(got.boxes.size(), want.boxes.size());
    for (size_t row = 0; row < want.count(); ++row) {
        const search::Box g = got.boxes[row].widened(), w = want.boxes[row].widened();
        EXPECT_TRUE(g.xmin == w.xmin && g.ymin == w.ymin && g.xmax == w.xmax && g.ymax == w.ymax)
            << row;
    }
    ASSERT_EQ(got.columns.size(), want.columns.size());
    for (size_t c = 0; c < want.columns.size(); ++c) {
        for (size_t row = 0; row < want.count(); ++row) {
            const QVariant g = got.columns[c].at(row), w = want.columns[c].at(row);
            ASSERT_TRUE(sameValue(g, w))
                << "column " << c << " row " << row << ": " << g.toString().toStdString() << " / "
                << w.toString().toStdString();
        }
    }
}

}  // namespace bramlotte::testmaps
