#include "support/files/scratch_files.h"

#include <pthread.h>
#include <time.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <mutex>

namespace bramlotte::support {
namespace {

// The handler may run at any moment, on any thread: it reads only this
// fixed table, whose entries become visible to it once their path is whole.
struct Slot {
    std::atomic<bool> claimed{false};  // held by a ScratchFile
    std::atomic<bool> live{false};     // `path` is complete: the handler may remove it
    char path[PATH_MAX];
};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler needs lock-free flags");

constexpr int kSlots = 64;
Slot slots[kSlots];

// The signals that end a program on request, and what was set for each
// before us.
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGTERM};
struct sigaction before[NSIG];
std::once_flag installOnce;

// Scratch files being made and registered right now. The thread making one
// holds the ending signals back, but a signal sent to the process then goes
// to another thread, whose handler must wait until the file is registered.
std::atomic<int> beingMade{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free count");

// Waits (at most two seconds: making a file takes microseconds) until no
// scratch file is half made.
void awaitFilesBeingMade() {
    const struct timespec pause = {0, 1000 * 1000};
    for (int i = 0; i < 2000 && beingMade.load(std::memory_order_acquire) > 0; ++i) {
        ::nanosleep(&pause, nullptr);
    }
}

void removeRegistered() {
    for (Slot& slot : slots) {
        if (slot.live.load(std::memory_order_acquire)) {
            ::unlink(slot.path);
        }
    }
}

void onEndingSignal(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    // A handler the program had set decides what the signal does; the
    // program goes on, and so do its writes.
    const struct sigaction& previous = before[signal];
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
        previous.sa_sigaction(signal, info, context);
        errno = savedErrno;
        return;
    }
    if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler != SIG_DFL &&
        previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        errno = savedErrno;
        return;
    }
    // The signal ends the program: first the scratch files go, then it
    // ends by the same signal, so that whoever waits for it sees how.
    awaitFilesBeingMade();
    removeRegistered();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(signal);
    errno = savedErrno;
}

void installHandlers() {
    for (const int signal : kEndingSignals) {
        if (::sigaction(signal, nullptr, &before[signal]) != 0) {
            continue;
        }
        // A signal the program was started to ignore stays ignored.
        if ((before[signal].sa_flags & SA_SIGINFO) == 0 && before[signal].sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_sigaction = onEndingSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (const int other : kEndingSignals) {
            sigaddset(&action.sa_mask, other);
        }
        ::sigaction(signal, &action, nullptr);
    }
}

// A free slot holding `path`, or -1 when the table is full or the path too
// long for it (the file is then still removed on every other way out).
int claimSlot(const QByteArray& path) {
    std::call_once(installOnce, installHandlers);
    if (path.isEmpty() || path.size() >= PATH_MAX) {
        return -1;
    }
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (slots[i].claimed.compare_exchange_strong(expected, true, std::memory_order_acq_rel)) {
            std::memcpy(slots[i].path, path.constData(), static_cast<size_t>(path.size()) + 1);
            slots[i].live.store(true, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0) {
        slots[slot].live.store(false, std::memory_order_release);
        slots[slot].claimed.store(false, std::memory_order_release);
    }
}

}  // namespace

ScratchFileBeingMade::ScratchFileBeingMade() {
    std::call_once(installOnce, installHandlers);
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kEndingSignals) {
        sigaddset(&held, signal);
    }
    ::pthread_sigmask(SIG_BLOCK, &held, &saved_);
    beingMade.fetch_add(1, std::memory_order_acq_rel);
}

ScratchFileBeingMade::~ScratchFileBeingMade() {
    beingMade.fetch_sub(1, std::memory_order_acq_rel);
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

ScratchFile::ScratchFile(QByteArray path) : path_(std::move(path)), slot_(claimSlot(path_)) {}

ScratchFile::~ScratchFile() {
    remove();
}

ScratchFile::ScratchFile(ScratchFile&& other) noexcept
    : path_(std::move(other.path_)), slot_(other.slot_) {
    other.path_.clear();
    other.slot_ = -1;
}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::move(other.path_);
        slot_ = other.slot_;
        other.path_.clear();
        other.slot_ = -1;
    }
    return *this;
}

void ScratchFile::keep() {
    unregister();
    path_.clear();
}

void ScratchFile::remove() {
    if (!path_.isEmpty()) {
        ::unlink(path_.constData());
    }
    unregister();
    path_.clear();
}

void ScratchFile::unregister() {
    releaseSlot(slot_);
    slot_ = -1;
}

int registeredScratchFiles() {
    int count = 0;
    for (const Slot& slot : slots) {
        count += slot.live.load(std::memory_order_acquire) ? 1 : 0;
    }
    return count;
}

}  // namespace bramlotte::support
