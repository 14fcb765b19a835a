// One range of ids read by two readers from its two ends at once: one
// upwards from the lowest id, one downwards from the highest, each stopping
// where the other has been. A reader that finishes its own range early
// takes over the end of another's so that neither thread waits for the
// other (fresh memory costs one thread several times what it costs the
// other on some machines).
#pragma once

#include <QtGlobal>

#include <atomic>
#include <limits>

namespace bramlotte::store {

class RangeMeeting {
  public:
    // Asked by the upward reader before it takes `id`, ids rising: false once
    // the downward reader has taken `id` or may take it; it then stops. Each
    // id goes to at most one of the two.
    bool upwardTakes(qint64 id) {
        upwardAt_.store(id);
        if (id < downwardAt_.load()) {
            return true;
        }
        upwardStop_ = id;
        return false;
    }
    // Asked by the downward reader before it takes `id`, ids falling.
    bool downwardTakes(qint64 id) {
        downwardAt_.store(id);
        if (upwardAt_.load() < id) {
            lowestDownward_ = id;
            return true;
        }
        return false;
    }

    // Once both readers are done: the ids neither took, [first, last], where
    // both stopped at once for neighbouring ids; empty (last < first) when
    // the upward reader read to its end.
    qint64 gapFirst() const { return upwardStop_; }
    qint64 gapLast(qint64 rangeLast) const {
        if (upwardStop_ == kNone) {
            return kNone - 1;
        }
        return lowestDownward_ == kNone ? rangeLast : lowestDownward_ - 1;
    }

  private:
    static constexpr qint64 kNone = std::numeric_limits<qint64>::max();
    // The id each reader is about to take; sequentially consistent, so that
    // of two readers at one id at least one sees the other.
    std::atomic<qint64> upwardAt_{std::numeric_limits<qint64>::min()};
    std::atomic<qint64> downwardAt_{kNone};
    qint64 upwardStop_ = kNone;      // the first id the upward reader left
    qint64 lowestDownward_ = kNone;  // the last id the downward reader took
};

}  // namespace bramlotte::store
