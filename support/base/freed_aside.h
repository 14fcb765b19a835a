// A large value let go of on a thread of its own while the caller goes on:
// freeing hundreds of thousands of small blocks takes a good part of a tenth
// of a second that other work on one core need not wait for.
#pragma once

#include <memory>
#include <system_error>
#include <thread>
#include <utility>

namespace bramlotte::support {

template <typename T>
class FreedAside {
  public:
    // Takes `value` over and frees it on a thread of its own (on this one
    // when no thread can be started).
    explicit FreedAside(T&& value) {
        auto held = std::make_unique<T>(std::move(value));
        try {
            thread_ = std::thread([owned = std::move(held)]() mutable { owned.reset(); });
        } catch (const std::system_error&) {
            // Freed here, with the lambda that held it.
        }
    }
    // Waits until the value is freed.
    ~FreedAside() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    FreedAside(const FreedAside&) = delete;
    FreedAside& operator=(const FreedAside&) = delete;

  private:
    std::thread thread_;
};

}  // namespace bramlotte::support
