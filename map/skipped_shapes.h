// Features left out of every search because of their shapes: counted by
// cause, with the lowest few ids kept so that a warning can name them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bramlotte::host {

// Why a shape cannot take part in a search.
enum class ShapeFault {
    None,
    Unreadable,      // the data source's library could not parse it
    NonFinite,       // a coordinate that is not a finite number
    DegenerateRing,  // a polygon ring of fewer than three distinct points
};

class SkippedShapes {
  public:
    // The ids a warning names at most, per cause.
    static constexpr size_t kIdsNamed = 5;

    struct Cause {
        long long count = 0;
        std::vector<long long> lowestIds;  // ascending, at most kIdsNamed

        void add(long long id) {
            ++count;
            keep(id);
        }
        void keep(long long id) {
            const auto at = std::lower_bound(lowestIds.begin(), lowestIds.end(), id);
            if (at != lowestIds.end() && *at == id) {
                return;
            }
            lowestIds.insert(at, id);
            if (lowestIds.size() > kIdsNamed) {
                lowestIds.pop_back();
            }
        }
        void merge(const Cause& other) {
            count += other.count;
            for (const long long id : other.lowestIds) {
                keep(id);
            }
        }
    };

    void add(ShapeFault fault, long long id) {
        if (Cause* cause = of(fault)) {
            cause->add(id);
        }
    }
    void merge(const SkippedShapes& other) {
        unreadable.merge(other.unreadable);
        nonFinite.merge(other.nonFinite);
        degenerate.merge(other.degenerate);
    }
    long long count() const { return unreadable.count + nonFinite.count + degenerate.count; }
    bool any() const { return count() > 0; }

    Cause unreadable;
    Cause nonFinite;
    Cause degenerate;

  private:
    Cause* of(ShapeFault fault) {
        switch (fault) {
            case ShapeFault::Unreadable:
                return &unreadable;
            case ShapeFault::NonFinite:
                return &nonFinite;
            case ShapeFault::DegenerateRing:
                return &degenerate;
            case ShapeFault::None:
                break;
        }
        return nullptr;
    }
};

}  // namespace bramlotte::host
