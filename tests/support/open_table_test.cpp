// The one hash table: what is added is found, whatever the keys, through
// every growth, and slots of one hash are told apart by their contents.
#include "support/base/open_table.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

using bramlotte::support::OpenTable;

namespace {

struct Slot {
    long long key = -1;
    int value = 0;
    bool used() const { return key >= 0; }
    uint64_t hash() const { return hashOf(key); }
    // Every fourth key shares one hash: probing must tell them apart.
    static uint64_t hashOf(long long key) { return key % 4 == 0 ? 42 : static_cast<uint64_t>(key); }
};

}  // namespace

TEST(OpenTable, FindsEveryKeyThroughGrowthAndSharedHashes) {
    OpenTable<Slot> table;
    std::mt19937_64 random(7);
    std::set<long long> keys;
    // Keys in a row, OpenStreetMap-like ones with gaps, ones near 2^62.
    for (long long k = 0; k < 3000; ++k) {
        keys.insert(k);
        keys.insert(4'000'000 + k * 1'000'003);
        keys.insert((1LL << 62) - static_cast<long long>(random() % 1'000'000));
    }
    for (const long long key : keys) {
        bool added = false;
        Slot& slot = table.findOrAdd(
            Slot::hashOf(key), [key](const Slot& s) { return s.key == key; },
            [key] {
                return Slot{key, static_cast<int>(key % 1000)};
            },
            added);
        ASSERT_TRUE(added) << key;
        ASSERT_EQ(slot.key, key);
    }
    EXPECT_EQ(table.size(), keys.size());
    for (const long long key : keys) {
        const Slot* slot =
            table.find(Slot::hashOf(key), [key](const Slot& s) { return s.key == key; });
        ASSERT_NE(slot, nullptr) << key;
        EXPECT_EQ(slot->value, key % 1000);
        bool added = true;
        table.findOrAdd(
            Slot::hashOf(key), [key](const Slot& s) { return s.key == key; }, [] { return Slot{}; },
            added);
        EXPECT_FALSE(added) << key;
    }
    for (const long long absent : {3000LL, 3004LL, 4'000'001LL, (1LL << 62) + 1}) {
        EXPECT_EQ(
            table.find(Slot::hashOf(absent), [absent](const Slot& s) { return s.key == absent; }),
            nullptr)
            << absent;
    }
    EXPECT_EQ(table.size(), keys.size());
    const OpenTable<Slot> none;
    EXPECT_EQ(none.find(1, [](const Slot&) { return true; }), nullptr);
}
