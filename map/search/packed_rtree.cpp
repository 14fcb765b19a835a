#include "map/search/packed_rtree.h"

#include "map/search/key_sort.h"
#include "support/base/both_at_once.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace bramlotte::search {
namespace {

template <typename B>
double centreX(const B& b) {
    return (double(b.xmin) + b.xmax) * 0.5;
}
template <typename B>
double centreY(const B& b) {
    return (double(b.ymin) + b.ymax) * 0.5;
}

// The nearest float at or below (above) `v`.
float floatDown(double v) {
    const float f = static_cast<float>(v);
    return double(f) <= v ? f : std::nextafter(f, -std::numeric_limits<float>::infinity());
}
float floatUp(double v) {
    const float f = static_cast<float>(v);
    return double(f) >= v ? f : std::nextafter(f, std::numeric_limits<float>::infinity());
}

void extend(Box& u, const Box& b) {
    u.xmin = std::min(u.xmin, b.xmin);
    u.ymin = std::min(u.ymin, b.ymin);
    u.xmax = std::max(u.xmax, b.xmax);
    u.ymax = std::max(u.ymax, b.ymax);
}

// Orders `entries` (positions into `boxes`) into STR tiles: vertical slices by
// x centre, each slice sorted by y centre. Centres are compared as floats:
// ties only change which boxes share a node, never what a query finds.
template <typename B>
void strOrder(const std::vector<B>& boxes, std::vector<uint32_t>& entries) {
    const size_t n = entries.size();
    const size_t nodes = (n + PackedRTree::kNodeSize - 1) / PackedRTree::kNodeSize;
    const size_t slices = static_cast<size_t>(std::ceil(std::sqrt(static_cast<double>(nodes))));
    const size_t perSlice = std::max<size_t>(1, slices) * PackedRTree::kNodeSize;
    std::vector<Keyed> keyed(n);
    for (size_t i = 0; i < n; ++i) {
        keyed[i] = {orderedBits(static_cast<float>(centreX(boxes[entries[i]]))), entries[i]};
    }
    std::vector<Keyed> scratch;
    sortByKey(keyed.data(), keyed.data() + n, scratch);
    // The slices, every other one on each thread.
    auto sortSlices = [&](size_t first, std::vector<Keyed>& scratch) {
        for (size_t s = first * perSlice; s < n; s += 2 * perSlice) {
            const size_t end = std::min(n, s + perSlice);
            for (size_t i = s; i < end; ++i) {
                keyed[i].key = orderedBits(static_cast<float>(centreY(boxes[keyed[i].item])));
            }
            sortByKey(keyed.data() + s, keyed.data() + end, scratch);
        }
    };
    auto evenSlices = [&] {
        std::vector<Keyed> own;  // each thread its own working memory
        sortSlices(0, own);
    };
    auto oddSlices = [&] { sortSlices(1, scratch); };
    if (n >= 200000) {  // large enough to pay for a thread
        support::bothAtOnce(evenSlices, oddSlices);
    } else {
        evenSlices();
        oddSlices();
    }
    for (size_t i = 0; i < n; ++i) {
        entries[i] = keyed[i].item;
    }
}

}  // namespace

FloatBox FloatBox::around(const Box& b) {
    return {floatDown(b.xmin), floatDown(b.ymin), floatUp(b.xmax), floatUp(b.ymax)};
}

PackedRTree::PackedRTree(const std::vector<FloatBox>& boxes, std::vector<uint32_t> items)
    : leaves_(std::move(items)) {
    if (leaves_.empty()) {
        return;
    }
    strOrder(boxes, leaves_);
    leafBoxes_.reserve(leaves_.size());
    for (const uint32_t item : leaves_) {
        leafBoxes_.push_back(boxes[item]);
    }

    // The lowest level: one entry per group of leaves.
    const size_t n = leaves_.size();
    levelStart_.push_back(0);
    for (size_t g = 0; g < n; g += kNodeSize) {
        Box u = leafBoxes_[g].widened();
        for (size_t i = g + 1; i < std::min(n, g + kNodeSize); ++i) {
            extend(u, leafBoxes_[i].widened());
        }
        nodeBoxes_.push_back(u);
        nodeFirst_.push_back(static_cast<uint32_t>(g));
    }
    levelStart_.push_back(nodeBoxes_.size());

    // Each further level groups the one below until one entry, the root, is left.
    while (levelStart_.back() - levelStart_[levelStart_.size() - 2] > 1) {
        const size_t begin = levelStart_[levelStart_.size() - 2];
        const size_t end = levelStart_.back();
        // Re-tile the level below so its groups are spatially compact.
        const std::vector<Box> lower(nodeBoxes_.begin() + static_cast<std::ptrdiff_t>(begin),
                                     nodeBoxes_.begin() + static_cast<std::ptrdiff_t>(end));
        const std::vector<uint32_t> lowerFirst(
            nodeFirst_.begin() + static_cast<std::ptrdiff_t>(begin),
            nodeFirst_.begin() + static_cast<std::ptrdiff_t>(end));
        std::vector<uint32_t> order(lower.size());
        for (uint32_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        strOrder(lower, order);
        for (size_t k = 0; k < order.size(); ++k) {
            nodeBoxes_[begin + k] = lower[order[k]];
            nodeFirst_[begin + k] = lowerFirst[order[k]];
        }
        for (size_t g = begin; g < end; g += kNodeSize) {
            Box u = nodeBoxes_[g];
            for (size_t i = g + 1; i < std::min(end, g + kNodeSize); ++i) {
                extend(u, nodeBoxes_[i]);
            }
            nodeBoxes_.push_back(u);
            nodeFirst_.push_back(static_cast<uint32_t>(g));
        }
        levelStart_.push_back(nodeBoxes_.size());
    }
}

}  // namespace bramlotte::search
