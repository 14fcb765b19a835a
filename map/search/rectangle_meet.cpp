#include "map/search/rectangle_meet.h"

#include "map/search/wkb.h"

#include <cmath>
#include <cstdint>

namespace bramlotte::search {
namespace {

enum class Side { kLeft, kOn, kRight, kUnsure };

// Whether a − b is exact in double arithmetic (Knuth's two-difference error
// term is zero).
bool exactDifference(double a, double b) {
    const double x = a - b;
    const double bv = a - x;
    const double av = x + bv;
    return (a - av) + (bv - b) == 0;
}

// The side of the line p→q that c lies on. The determinant is trusted beyond
// the rounding error bound of its own evaluation (the classic orientation
// filter), or when each of its steps was exact; otherwise "unsure".
Side sideOf(double px, double py, double qx, double qy, double cx, double cy) {
    const double dqx = qx - px, dqy = qy - py, dcx = cx - px, dcy = cy - py;
    const double left = dqx * dcy;
    const double right = dqy * dcx;
    const double det = left - right;
    const double bound = 3.3306690738754716e-16 * (std::fabs(left) + std::fabs(right));
    if (det > bound) {
        return Side::kLeft;
    }
    if (-det > bound) {
        return Side::kRight;
    }
    // Exact differences and exact products: the subtraction's sign is exact.
    if (exactDifference(qx, px) && exactDifference(qy, py) && exactDifference(cx, px) &&
        exactDifference(cy, py) && std::fma(dqx, dcy, -left) == 0 &&
        std::fma(dqy, dcx, -right) == 0) {
        return det > 0 ? Side::kLeft : det < 0 ? Side::kRight : Side::kOn;
    }
    return Side::kUnsure;
}

bool pointIn(double x, double y, const Box& r) {
    return r.xmin <= x && x <= r.xmax && r.ymin <= y && y <= r.ymax;
}

// Segment p–q against the closed rectangle: both are convex, so they are
// apart exactly when one of the axes x, y or the segment's normal
// separates them strictly.
std::optional<bool> segmentMeets(double px, double py, double qx, double qy, const Box& r) {
    if (std::fmax(px, qx) < r.xmin || std::fmin(px, qx) > r.xmax || std::fmax(py, qy) < r.ymin ||
        std::fmin(py, qy) > r.ymax) {
        return false;
    }
    if (pointIn(px, py, r) || pointIn(qx, qy, r)) {
        return true;
    }
    const double cx[4] = {r.xmin, r.xmax, r.xmax, r.xmin};
    const double cy[4] = {r.ymin, r.ymin, r.ymax, r.ymax};
    bool left = false, right = false, on = false, unsure = false;
    for (int i = 0; i < 4; ++i) {
        switch (sideOf(px, py, qx, qy, cx[i], cy[i])) {
            case Side::kLeft:
                left = true;
                break;
            case Side::kRight:
                right = true;
                break;
            case Side::kOn:
                on = true;
                break;
            case Side::kUnsure:
                unsure = true;
                break;
        }
    }
    // Corners on both sides of the segment's line, or one on it: not apart.
    if ((left && right) || on) {
        return true;
    }
    return unsure ? std::nullopt : std::optional<bool>(false);
}

// A point of the shape; the rectangle test is only trusted on finite ones.
bool finitePoint(WkbReader& in, double& x, double& y) {
    return in.point(x, y) && std::isfinite(x) && std::isfinite(y);
}

std::optional<bool> lineMeets(WkbReader& in, const Box& r) {
    uint32_t n = 0;
    double px = 0, py = 0;
    if (!in.count(n) || n == 0 || !finitePoint(in, px, py)) {
        return std::nullopt;
    }
    if (n == 1) {
        return pointIn(px, py, r);
    }
    bool unsure = false;
    for (uint32_t i = 1; i < n; ++i) {
        double qx = 0, qy = 0;
        if (!finitePoint(in, qx, qy)) {
            return std::nullopt;
        }
        const std::optional<bool> meets = segmentMeets(px, py, qx, qy, r);
        if (meets && *meets) {
            return true;
        }
        unsure = unsure || !meets;
        px = qx;
        py = qy;
    }
    return unsure ? std::nullopt : std::optional<bool>(false);
}

std::optional<bool> pointMeets(WkbReader& in, const Box& r) {
    double x = 0, y = 0;
    if (!finitePoint(in, x, y)) {
        return std::nullopt;
    }
    return pointIn(x, y, r);
}

}  // namespace

std::optional<bool> wkbMeetsRectangle(const unsigned char* wkb, size_t size, const Box& rect) {
    WkbReader in(wkb, size);
    WkbType type{};
    if (!in.header(type)) {
        return std::nullopt;
    }
    if (type == WkbType::Point) {
        return pointMeets(in, rect);
    }
    if (type == WkbType::LineString) {
        return lineMeets(in, rect);
    }
    if (type != WkbType::MultiPoint && type != WkbType::MultiLineString) {
        return std::nullopt;
    }
    const WkbType partKind = type == WkbType::MultiPoint ? WkbType::Point : WkbType::LineString;
    uint32_t parts = 0;
    if (!in.count(parts)) {
        return std::nullopt;
    }
    for (uint32_t i = 0; i < parts; ++i) {
        WkbType partType{};
        if (!in.header(partType) || partType != partKind) {
            return std::nullopt;
        }
        // A part that meets it settles the answer; an undecided one leaves
        // it to GEOS.
        const std::optional<bool> meets =
            partKind == WkbType::Point ? pointMeets(in, rect) : lineMeets(in, rect);
        if (!meets || *meets) {
            return meets;
        }
    }
    return false;
}

}  // namespace bramlotte::search
