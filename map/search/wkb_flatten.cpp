#include "map/search/wkb_flatten.h"

#include "map/search/wkb.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace bramlotte::search {
namespace {

uint32_t swapped(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

double swappedDouble(const unsigned char* p) {
    unsigned char b[8];
    for (int i = 0; i < 8; ++i) {
        b[i] = p[7 - i];
    }
    double v;
    std::memcpy(&v, b, 8);
    return v;
}

void put32(std::vector<unsigned char>& out, uint32_t v) {
    unsigned char b[4];
    std::memcpy(b, &v, 4);  // little-endian machine; the header byte says so
    out.insert(out.end(), b, b + 4);
}

class Flattener {
  public:
    Flattener(const unsigned char* data, size_t size, std::vector<unsigned char>& out)
        : p_(data), end_(data + size), out_(out) {}

    // Copies one shape with its header; false when it cannot be read or is
    // of a kind the store does not hold (`unsupported` then says which).
    // `empty` says whether it holds no point as the host counts it.
    bool shape(bool promote, bool& empty) {
        bool little = true;
        uint32_t kind = 0;
        if (!header(little, kind)) {
            return false;
        }
        little_ = little;
        if (promote && kind >= 1 && kind <= 3) {
            out_.push_back(1);
            put32(out_, kind + 3);
            put32(out_, 1);
        }
        out_.push_back(1);
        put32(out_, kind);
        switch (static_cast<WkbType>(kind)) {
            case WkbType::Point: {
                double x = 0, y = 0;
                if (!coordinates(1, &x, &y)) {
                    return false;
                }
                empty = std::isnan(x) || std::isnan(y);
                return true;
            }
            case WkbType::LineString: {
                uint32_t n = 0;
                if (!count(n) || !coordinates(n, nullptr, nullptr)) {
                    return false;
                }
                empty = n == 0;
                return true;
            }
            case WkbType::Polygon: {
                uint32_t rings = 0;
                if (!count(rings)) {
                    return false;
                }
                empty = true;
                for (uint32_t r = 0; r < rings; ++r) {
                    uint32_t n = 0;
                    if (!ring(n)) {
                        return false;
                    }
                    if (r == 0) {
                        empty = n == 0;
                    }
                }
                return true;
            }
            case WkbType::MultiPoint:
            case WkbType::MultiLineString:
            case WkbType::MultiPolygon:
            case WkbType::Collection: {
                uint32_t parts = 0;
                if (!count(parts)) {
                    return false;
                }
                empty = true;
                for (uint32_t i = 0; i < parts; ++i) {
                    bool partEmpty = true;
                    if (!shape(false, partEmpty)) {
                        return false;
                    }
                    empty = empty && partEmpty;
                }
                return true;
            }
        }
        return false;
    }

    Box box{};
    bool any = false;
    bool finite = true;
    bool rings = true;         // every ring has three distinct points
    bool unsupported = false;  // a kind the store does not hold, not bad data

  private:
    // Copies a ring of `n` points, closing it where its last point is not
    // its first.
    bool ring(uint32_t& n) {
        const size_t countAt = out_.size();
        if (!count(n)) {
            return false;
        }
        const size_t pointsAt = out_.size();
        if (!coordinates(n, nullptr, nullptr)) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        const unsigned char* first = out_.data() + pointsAt;
        if (std::memcmp(first, out_.data() + out_.size() - 16, 16) != 0) {
            unsigned char closing[16];
            std::memcpy(closing, first, 16);
            out_.insert(out_.end(), closing, closing + 16);
            ++n;
            std::memcpy(out_.data() + countAt, &n, 4);
        }
        rings = rings && ringBoundsArea(out_.data() + pointsAt, n);
        return true;
    }

    // A shape's byte order, kind (1 to 7) and the size of its coordinates.
    bool header(bool& little, uint32_t& kind) {
        if (end_ - p_ < 5 || *p_ > 1) {
            return false;
        }
        little = *p_ == 1;
        uint32_t raw = 0;
        std::memcpy(&raw, p_ + 1, 4);
        if (!little) {
            raw = swapped(raw);
        }
        p_ += 5;
        if (raw & 0x20000000u) {
            unsupported = true;  // a spatial reference inside the shape: not standard WKB
            return false;
        }
        bool z = (raw & 0x80000000u) != 0, m = (raw & 0x40000000u) != 0;
        const uint32_t code = raw & 0x0fffffffu;
        switch (code / 1000) {
            case 0:
                break;
            case 1:
                z = true;
                break;
            case 2:
                m = true;
                break;
            case 3:
                z = m = true;
                break;
            default:
                unsupported = true;
                return false;
        }
        kind = code % 1000;
        dims_ = 2 + (z ? 1 : 0) + (m ? 1 : 0);
        // Curves and surfaces (8 and up) are standard, but not held here.
        unsupported = kind < 1 || kind > 7;
        return !unsupported;
    }

    bool count(uint32_t& n) {
        if (end_ - p_ < 4) {
            return false;
        }
        std::memcpy(&n, p_, 4);
        if (!little_) {
            n = swapped(n);
        }
        p_ += 4;
        put32(out_, n);
        return true;
    }

    // Copies `n` points as x and y; the last point's x and y go to `lastX`
    // and `lastY` when asked for.
    bool coordinates(uint32_t n, double* lastX, double* lastY) {
        const size_t stride = static_cast<size_t>(dims_) * 8;
        if (static_cast<size_t>(end_ - p_) / stride < n) {
            return false;
        }
        const size_t at = out_.size();
        out_.resize(at + static_cast<size_t>(n) * 16);
        unsigned char* o = out_.data() + at;
        double x = 0, y = 0;
        for (uint32_t i = 0; i < n; ++i, p_ += stride, o += 16) {
            if (little_) {
                std::memcpy(&x, p_, 8);
                std::memcpy(&y, p_ + 8, 8);
            } else {
                x = swappedDouble(p_);
                y = swappedDouble(p_ + 8);
            }
            std::memcpy(o, &x, 8);
            std::memcpy(o + 8, &y, 8);
            finite = finite && std::isfinite(x) && std::isfinite(y);
            if (any) {
                box.xmin = std::min(box.xmin, x);
                box.xmax = std::max(box.xmax, x);
                box.ymin = std::min(box.ymin, y);
                box.ymax = std::max(box.ymax, y);
            } else {
                box = {x, y, x, y};
                any = true;
            }
        }
        if (lastX) {
            *lastX = x;
            *lastY = y;
        }
        return true;
    }

    const unsigned char* p_;
    const unsigned char* end_;
    std::vector<unsigned char>& out_;
    bool little_ = true;
    int dims_ = 2;
};

}  // namespace

FlattenResult appendFlatWkb(const unsigned char* wkb, size_t size, bool promoteToMulti,
                            std::vector<unsigned char>& out, Box& box, host::ShapeFault& fault) {
    const size_t start = out.size();
    Flattener flat(wkb, size, out);
    bool empty = true;
    if (!flat.shape(promoteToMulti, empty)) {
        out.resize(start);
        return flat.unsupported ? FlattenResult::Unsupported : FlattenResult::Malformed;
    }
    if (empty) {
        out.resize(start);
        return FlattenResult::Empty;
    }
    box = flat.box;
    fault = !flat.finite  ? host::ShapeFault::NonFinite
            : !flat.rings ? host::ShapeFault::DegenerateRing
                          : host::ShapeFault::None;
    return FlattenResult::Shape;
}

}  // namespace bramlotte::search
