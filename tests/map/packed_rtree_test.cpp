#include "map/search/packed_rtree.h"
#include "map/search/key_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

using bramlotte::search::Box;
using bramlotte::search::FloatBox;
using bramlotte::search::PackedRTree;

namespace {

std::vector<uint32_t> bruteForce(const std::vector<FloatBox>& boxes, const Box& q) {
    std::vector<uint32_t> hits;
    for (uint32_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i].intersects(q)) {
            hits.push_back(i);
        }
    }
    return hits;
}

}  // namespace

// Sizes around the node size and its powers exercise partial groups on
// every level; touching boxes count as meeting.
TEST(PackedRTree, AnswersExactlyWhatABruteForceScanAnswers) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> pos(0, 1000), len(0, 30);
    std::uniform_real_distribution<double> small(0, 3);
    // The largest is sorted on two threads.
    for (size_t n : {0u, 1u, 15u, 16u, 17u, 255u, 256u, 257u, 5000u, 250000u}) {
        std::vector<FloatBox> boxes;
        for (size_t i = 0; i < n; ++i) {
            const double x = pos(rng), y = pos(rng);
            const double w = n > 5000 ? small(rng) : len(rng), h = n > 5000 ? small(rng) : len(rng);
            boxes.push_back(FloatBox::around({x, y, x + w, y + h}));
        }
        std::vector<uint32_t> all(boxes.size());
        std::iota(all.begin(), all.end(), 0u);
        const PackedRTree tree(boxes, all);
        EXPECT_EQ(tree.size(), n);
        for (int q = 0; q < 200; ++q) {
            const double x = pos(rng), y = pos(rng);
            const Box query{x, y, x + len(rng) * 3, y + len(rng) * 3};
            std::vector<uint32_t> got;
            tree.query(query, got);
            std::sort(got.begin(), got.end());
            ASSERT_EQ(got, bruteForce(boxes, query)) << "n=" << n << " query " << q;
        }
        if (n > 0) {
            std::vector<uint32_t> edge;
            tree.query({boxes[0].xmax, boxes[0].ymax, boxes[0].xmax, boxes[0].ymax}, edge);
            EXPECT_NE(std::find(edge.begin(), edge.end(), 0u), edge.end());
        }
    }
}

TEST(PackedRTree, DegenerateBoxesOfPointsAndLines) {
    std::vector<FloatBox> boxes = {{1, 1, 1, 1}, {0, 5, 10, 5}, {3, 0, 3, 10}};
    const PackedRTree tree(boxes, {0, 1, 2});
    std::vector<uint32_t> got;
    tree.query({2, 4, 4, 6}, got);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<uint32_t>{1, 2}));
}

TEST(PackedRTree, OnlyTheGivenItemsAreIndexed) {
    const std::vector<FloatBox> boxes = {{0, 0, 1, 1}, {0, 0, 1, 1}, {0, 0, 1, 1}};
    const PackedRTree tree(boxes, {2, 0});
    std::vector<uint32_t> got;
    tree.query({0, 0, 5, 5}, got);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<uint32_t>{0, 2}));
}

// Held in single precision, a box never shrinks: far from the origin a float
// step is half a metre, and the exact box must still lie inside.
TEST(PackedRTree, HeldBoxesAlwaysHoldTheExactBox) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> coordinate(-6e6, 6e6);
    for (int i = 0; i < 10000; ++i) {
        const double a = coordinate(rng), b = coordinate(rng);
        const Box exact{std::min(a, b), std::min(b, a) - 1.3, std::max(a, b), std::max(a, b) + 0.7};
        const Box held = FloatBox::around(exact).widened();
        ASSERT_TRUE(held.contains(exact)) << i;
        EXPECT_LT(held.xmax - held.xmin - (exact.xmax - exact.xmin), 2.0);
    }
}

// The tree is packed by sorting box centres on their float bits: the sort
// must order floats as numbers and keep equal keys in their order.
TEST(PackedRTree, CentresSortAsNumbersKeepingTiesInOrder) {
    using bramlotte::search::Keyed;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> wide(-1e6f, 1e6f);
    const float specials[] = {0.0f,
                              -0.0f,
                              1.0f,
                              -1.0f,
                              1e-30f,
                              -1e-30f,
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity()};
    for (size_t n : {0u, 1u, 2u, 300u, 70000u}) {
        std::vector<float> values;
        for (size_t i = 0; i < n; ++i) {
            // Many repeats, so ties are common; some keys differ only in their low bytes.
            values.push_back(i % 3 == 0 ? specials[i % 8] : i % 3 == 1 ? wide(rng) : 5.0f + i % 7);
        }
        std::vector<Keyed> keyed;
        for (size_t i = 0; i < n; ++i) {
            keyed.push_back({bramlotte::search::orderedBits(values[i]), static_cast<uint32_t>(i)});
        }
        std::vector<Keyed> scratch;
        bramlotte::search::sortByKey(keyed.data(), keyed.data() + keyed.size(), scratch);
        std::vector<uint32_t> expected(n);
        std::iota(expected.begin(), expected.end(), 0u);
        std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
            // -0 sorts just below +0.
            if (values[a] == values[b]) {
                return std::signbit(values[a]) && !std::signbit(values[b]);
            }
            return values[a] < values[b];
        });
        std::vector<uint32_t> got;
        for (const Keyed& k : keyed) {
            got.push_back(k.item);
        }
        ASSERT_EQ(got, expected) << "n=" << n;
    }
    // One key throughout: every pass is skipped, the order stays.
    std::vector<Keyed> same(1000, Keyed{42u, 0u});
    for (uint32_t i = 0; i < same.size(); ++i) {
        same[i].item = i;
    }
    std::vector<Keyed> scratch;
    bramlotte::search::sortByKey(same.data(), same.data() + same.size(), scratch);
    for (uint32_t i = 0; i < same.size(); ++i) {
        ASSERT_EQ(same[i].item, i);
    }
}
