// Two pieces of work side by side: one on a thread of its own, one on the
// calling thread.
#pragma once

#include <exception>
#include <thread>

namespace bramlotte::support {

// Runs `first` on a thread of its own and `second` on this one; both are
// waited for, and the first failure of either is thrown.
template <typename First, typename Second>
void bothAtOnce(First first, Second second) {
    std::exception_ptr firstFailure;
    std::thread other([&] {
        try {
            first();
        } catch (...) {
            firstFailure = std::current_exception();
        }
    });
    try {
        second();
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (firstFailure) {
        std::rethrow_exception(firstFailure);
    }
}

}  // namespace bramlotte::support
