// A straightforward model of area-average resampling for the tests, written
// from the definition rather than from the library's loops: footprint edges
// by one exact integer division each, the lattice listed explicitly,
// neighbours by clamping or modulo, samples blended in double precision and
// the mean taken in double. Pixels are plain 32-bit values in a vector.
#pragma once

#include "ImgTestModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace img_test {

struct Picture {
    uint32_t id = 0;
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;

    uint32_t at(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// What the model expects of one target pixel: either the key pixel (no
// sample counted) or the exact mean of each channel.
struct ExpectedPixel {
    bool key = false;
    double mean[4] = {}; // red, green, blue, alpha
};

class AreaModel {
public:
    AreaModel(const Picture& source, bool wrap_x, bool wrap_y, bool keyed, uint32_t key)
        : s_(source)
        , wrap_x_(wrap_x)
        , wrap_y_(wrap_y)
        , keyed_(keyed)
        , key_(key)
    {
    }

    std::vector<ExpectedPixel> resample(int32_t width, int32_t height) const
    {
        const int32_t sw = s_.width, sh = s_.height;
        const int64_t step_x = (int64_t(sw) << 16) / width;
        const int64_t step_y = (int64_t(sh) << 16) / height;
        const bool whole = step_x % 65536 == 0 && sw >= 2 && step_y % 65536 == 0 && sh >= 2;
        const int32_t ew = whole || wrap_x_ || step_x > 65536 ? sw : sw - 1;
        const int32_t eh = whole || wrap_y_ || step_y > 65536 ? sh : sh - 1;
        std::vector<ExpectedPixel> out;
        for (int32_t j = 0; j < height; ++j) {
            const int64_t y0 = (int64_t(j) * eh << 16) / height;
            const int64_t y1 = (int64_t(j + 1) * eh << 16) / height;
            for (int32_t i = 0; i < width; ++i) {
                const int64_t x0 = (int64_t(i) * ew << 16) / width;
                const int64_t x1 = (int64_t(i + 1) * ew << 16) / width;
                out.push_back(footprint(x0, x1, y0, y1, whole));
            }
        }
        return out;
    }

private:
    // The lattice: the left edge and every whole position strictly after
    // its pixel and before the right edge.
    static std::vector<int64_t> lattice(int64_t from, int64_t to)
    {
        std::vector<int64_t> points { from };
        for (int64_t c = from / 65536 + 1; c * 65536 < to; ++c)
            points.push_back(c * 65536);
        return points;
    }

    ExpectedPixel footprint(int64_t x0, int64_t x1, int64_t y0, int64_t y1, bool whole) const
    {
        double sums[4] = {};
        int count = 0;
        const std::vector<int64_t> xs = lattice(x0, x1), ys = lattice(y0, y1);
        for (size_t b = 0; b < ys.size(); ++b)
            for (size_t a = 0; a < xs.size(); ++a) {
                double value[4];
                const int32_t c = int32_t(xs[a] / 65536) % s_.width, r = int32_t(ys[b] / 65536) % s_.height;
                const double fx = double(xs[a] % 65536) / 65536, fy = double(ys[b] % 65536) / 65536;
                bool counted;
                if (whole || (a > 0 && b > 0))
                    counted = plain(c, r, value);
                else if (a == 0 && b == 0)
                    counted = corner(c, r, fx, fy, value);
                else if (b == 0)
                    counted = pair(c, r, c, next_y(r), fy, value);
                else
                    counted = pair(c, r, next_x(c), r, fx, value);
                if (!counted)
                    continue;
                ++count;
                for (int k = 0; k < 4; ++k)
                    sums[k] += value[k];
            }
        ExpectedPixel p;
        if (count == 0) {
            p.key = true;
            return p;
        }
        for (int k = 0; k < 4; ++k)
            p.mean[k] = sums[k] / count;
        return p;
    }

    int32_t next_x(int32_t c) const { return wrap_x_ ? (c + 1) % s_.width : std::min(c + 1, s_.width - 1); }
    int32_t next_y(int32_t r) const { return wrap_y_ ? (r + 1) % s_.height : std::min(r + 1, s_.height - 1); }

    bool is_key(uint32_t p) const { return keyed_ && ((p ^ key_) & model_key_mask(s_.id)) == 0; }

    void channels(uint32_t p, double out[4]) const
    {
        const Layout& l = layout(s_.id);
        const Field f[4] = { l.red, l.green, l.blue, l.alpha };
        for (int k = 0; k < 4; ++k)
            out[k] = f[k].bits ? double(read_field(p, f[k])) : 0.0;
    }

    // a and b blended with weight w on b.
    void blend(uint32_t a, uint32_t b, double w, double out[4]) const
    {
        double ca[4], cb[4];
        channels(a, ca);
        channels(b, cb);
        for (int k = 0; k < 4; ++k)
            out[k] = ca[k] * (1 - w) + cb[k] * w;
    }

    bool plain(int32_t c, int32_t r, double out[4]) const
    {
        if (is_key(s_.at(c, r)))
            return false;
        channels(s_.at(c, r), out);
        return true;
    }

    bool pair(int32_t ca, int32_t ra, int32_t cb, int32_t rb, double w, double out[4]) const
    {
        const uint32_t a = s_.at(ca, ra), b = s_.at(cb, rb);
        if (is_key(a) && is_key(b))
            return false;
        if (is_key(a))
            w = 1;
        else if (is_key(b))
            w = 0;
        blend(a, b, w, out);
        return true;
    }

    bool corner(int32_t c, int32_t r, double fx, double fy, double out[4]) const
    {
        const int32_t nc = next_x(c), nr = next_y(r);
        const uint32_t p00 = s_.at(c, r), p10 = s_.at(nc, r), p01 = s_.at(c, nr), p11 = s_.at(nc, nr);
        double wt = fx, wb = fx, wv = fy;
        const bool top_key = is_key(p00) && is_key(p10), bottom_key = is_key(p01) && is_key(p11);
        if (top_key && bottom_key)
            return false;
        if (top_key)
            wv = 1;
        else if (is_key(p00))
            wt = 1;
        else if (is_key(p10))
            wt = 0;
        if (bottom_key)
            wv = 0;
        else if (is_key(p01))
            wb = 1;
        else if (is_key(p11))
            wb = 0;
        double top[4], bottom[4];
        blend(p00, p10, wt, top);
        blend(p01, p11, wb, bottom);
        for (int k = 0; k < 4; ++k)
            out[k] = top[k] * (1 - wv) + bottom[k] * wv;
        return true;
    }

    const Picture& s_;
    bool wrap_x_, wrap_y_, keyed_;
    uint32_t key_;
};

// Whether a pixel written by the library matches the model. Each blended
// sample may lose less than 2^-16 of a channel step to fixed-point
// truncation, so the mean may fall just below the exact one; the x bits of
// a computed pixel are 0.
inline ::testing::AssertionResult matches_model(
    uint32_t id, uint32_t written, const ExpectedPixel& expected, uint32_t key)
{
    if (expected.key) {
        if (written == (key & pixel_mask(id)))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << std::hex << written << " is not the key " << key;
    }
    const Layout& l = layout(id);
    const Field f[4] = { l.red, l.green, l.blue, l.alpha };
    uint32_t fields = 0;
    for (int k = 0; k < 4; ++k) {
        if (!f[k].bits)
            continue;
        fields |= ((1u << f[k].bits) - 1) << f[k].shift;
        const double m = expected.mean[k];
        const double low = std::floor(m - 1.0 / 65536 - 1e-9), high = std::floor(m + 1e-9);
        const double got = read_field(written, f[k]);
        if (got < low || got > high)
            return ::testing::AssertionFailure() << "channel " << k << " is " << got << ", model mean " << m;
    }
    if (written & ~fields)
        return ::testing::AssertionFailure() << std::hex << written << " has bits outside the channels";
    return ::testing::AssertionSuccess();
}

} // namespace img_test
