// A value handed over to be freed beside the caller's work.
#include "support/base/freed_aside.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using bramlotte::support::FreedAside;

namespace {

// Says where and whether it was destroyed; a moved-from one says nothing.
struct Watched {
    std::thread::id* freedOn = nullptr;
    std::atomic<int>* freed = nullptr;
    std::vector<int> payload;

    Watched(std::thread::id* on, std::atomic<int>* count) : freedOn(on), freed(count) {}
    Watched(Watched&& other) noexcept
        : freedOn(other.freedOn), freed(other.freed), payload(std::move(other.payload)) {
        other.freed = nullptr;
    }
    ~Watched() {
        if (freed) {
            // Slow enough that a holder that did not wait would be gone first.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            *freedOn = std::this_thread::get_id();
            ++*freed;
        }
    }
};

}  // namespace

TEST(FreedAside, FreesTheValueOnceOnAnotherThreadBeforeItGoes) {
    std::thread::id freedOn;
    std::atomic<int> freed{0};
    {
        Watched value(&freedOn, &freed);
        value.payload.assign(1000, 7);
        const FreedAside<Watched> freeing(std::move(value));
    }
    EXPECT_EQ(freed, 1);
    EXPECT_NE(freedOn, std::this_thread::get_id());
}
