// Colour collectors: they gather the samples that make up one target pixel
// of an area-average resize and turn them into one pixel of the format.
//
// A sample is one pixel, or two or four neighbours blended by 16.16 weights
// (65536 = 1.0). Sums hold channel values at the format's own depth scaled
// by 65536 (5-bit red stays 0..31); nothing is widened to 8 bits, so the
// mean is exact in the format's own terms. Sums are 64-bit so that a whole
// source image can fall into one target pixel.
//
// RGBCollector<F> serves formats without alpha, RGBACollector<F> those with
// alpha. The Void variants also hold a colour-key pixel: key pixels never
// contribute colour, a sample made only of key pixels is not counted, and a
// target pixel with no counted sample becomes the key pixel.
#pragma once

#include "img/FormatTraits.h"
#include "img/Pixels.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

namespace quarn::g {

namespace collect {

inline constexpr uint32_t one = 65536; // weight 1.0

// Per-channel sums and the sample count of a format's channels: red, green,
// blue, then alpha when WithAlpha.
template <class F, bool WithAlpha> class Sums {
public:
    static constexpr size_t channel_count = WithAlpha ? 4 : 3;
    static constexpr std::array<Channel, 4> channels { F::red, F::green, F::blue, F::alpha };
    static_assert((F::alpha.bits != 0) == WithAlpha, "the collector kind must match the format's alpha");

    void add(uint32_t p)
    {
        for (size_t c = 0; c < channel_count; ++c)
            sums_[c] += uint64_t(channels[c].read(p)) << 16;
        ++count_;
    }

    // w is the weight on b.
    void add_linear(uint32_t a, uint32_t b, uint32_t w)
    {
        for (size_t c = 0; c < channel_count; ++c)
            sums_[c] += uint64_t(channels[c].read(a)) * (one - w) + uint64_t(channels[c].read(b)) * w;
        ++count_;
    }

    // wt and wb weigh the right pixel of the top and bottom row, wv the
    // bottom row. A blended row fits 32 bits; the vertical blend is 64-bit
    // and truncated back to 16 fractional bits.
    void add_bilinear(uint32_t p00, uint32_t p10, uint32_t p01, uint32_t p11, uint32_t wt, uint32_t wb, uint32_t wv)
    {
        for (size_t c = 0; c < channel_count; ++c) {
            const Channel ch = channels[c];
            const uint64_t top = uint64_t(ch.read(p00)) * (one - wt) + uint64_t(ch.read(p10)) * wt;
            const uint64_t bottom = uint64_t(ch.read(p01)) * (one - wb) + uint64_t(ch.read(p11)) * wb;
            sums_[c] += (top * (one - wv) + bottom * wv) >> 16;
        }
        ++count_;
    }

    // The truncated mean as a pixel word (x bits 0); the sums and the count
    // start again from zero. The count must not be 0.
    uint32_t take_mean()
    {
        // A 64-bit division per channel would dominate an enlarging resize,
        // where most pixels hold one or two samples. The mean is the same
        // integer either way: a power-of-two count is a shift, and sums of
        // fewer than 256 samples of at most 8 bits fit a 32-bit division.
        uint32_t out = 0;
        if ((count_ & (count_ - 1)) == 0) {
            const int shift = 16 + std::countr_zero(count_);
            for (size_t c = 0; c < channel_count; ++c)
                out |= channels[c].place(uint32_t(sums_[c] >> shift) & channels[c].max());
        } else if (count_ < 256) {
            for (size_t c = 0; c < channel_count; ++c)
                out |= channels[c].place((uint32_t(sums_[c]) / count_ >> 16) & channels[c].max());
        } else {
            for (size_t c = 0; c < channel_count; ++c)
                out |= channels[c].place(uint32_t((sums_[c] / count_) >> 16) & channels[c].max());
        }
        sums_.fill(0);
        count_ = 0;
        return out;
    }

    uint32_t count() const { return count_; }
    // Red, green, blue (and alpha) sums.
    const std::array<uint64_t, channel_count>& sums() const { return sums_; }

private:
    std::array<uint64_t, channel_count> sums_ {};
    uint32_t count_ = 0;
};

// The collector without colour key.
template <class F, bool WithAlpha> class Plain {
public:
    static constexpr bool keyed = false;

    void add(const F& p) { sums_.add(p.word()); }
    void add_linear(const F& a, const F& b, uint32_t w) { sums_.add_linear(a.word(), b.word(), w); }
    // fx weighs the right column, fy the bottom row.
    void add_bilinear(const F& p00, const F& p10, const F& p01, const F& p11, uint32_t fx, uint32_t fy)
    {
        sums_.add_bilinear(p00.word(), p10.word(), p01.word(), p11.word(), fx, fx, fy);
    }
    // The mean of the samples so far, truncated per channel; then empty.
    // With no sample at all every channel is 0.
    F& get(F& out)
    {
        out.set_word(sums_.count() ? sums_.take_mean() : 0);
        return out;
    }

    uint32_t count() const { return sums_.count(); }
    const auto& sums() const { return sums_.sums(); }

private:
    Sums<F, WithAlpha> sums_;
};

// The collector that leaves key pixels out. A pixel is key when it equals
// the key pixel on every bit but the format's x bits (alpha is compared).
template <class F, bool WithAlpha> class Keyed {
public:
    static constexpr bool keyed = true;

    explicit Keyed(const F& key)
        : key_(key)
    {
    }

    bool is_key(const F& p) const { return ((p.word() ^ key_.word()) & DirectTraits<F>::key_mask) == 0; }

    void add(const F& p)
    {
        if (!is_key(p))
            sums_.add(p.word());
    }

    void add_linear(const F& a, const F& b, uint32_t w)
    {
        const bool ka = is_key(a), kb = is_key(b);
        if (ka && kb)
            return;
        if (ka)
            w = one;
        else if (kb)
            w = 0;
        sums_.add_linear(a.word(), b.word(), w);
    }

    // A key pixel hands its weight to its row partner, and a row of two key
    // pixels hands the row's weight to the other row, whatever the weights
    // were: a neighbour outside the footprint (weight 0) may stand in for a
    // key pixel inside it.
    void add_bilinear(const F& p00, const F& p10, const F& p01, const F& p11, uint32_t fx, uint32_t fy)
    {
        uint32_t wt = fx, wb = fx, wv = fy;
        const bool k00 = is_key(p00), k10 = is_key(p10);
        const bool top_all_key = k00 && k10;
        if (top_all_key)
            wv = one;
        else if (k00)
            wt = one;
        else if (k10)
            wt = 0;
        const bool k01 = is_key(p01), k11 = is_key(p11);
        if (k01 && k11) {
            // Tracked as a flag rather than read back from wv, so that a
            // bottom weight of exactly 1.0 does not pass for an all-key top.
            if (top_all_key)
                return;
            wv = 0;
        } else if (k01) {
            wb = one;
        } else if (k11) {
            wb = 0;
        }
        sums_.add_bilinear(p00.word(), p10.word(), p01.word(), p11.word(), wt, wb, wv);
    }

    // The mean of the counted samples; the key pixel, all its bits, when
    // none was counted.
    F& get(F& out)
    {
        if (sums_.count() == 0)
            out = key_;
        else
            out.set_word(sums_.take_mean());
        return out;
    }

    const F& key() const { return key_; }
    uint32_t count() const { return sums_.count(); }
    const auto& sums() const { return sums_.sums(); }

private:
    Sums<F, WithAlpha> sums_;
    F key_;
};

} // namespace collect

// Formats without alpha: Rgb888, Rgbx8888, Rgb565, Rgbx5551, Rgbx4444.
template <class F> class RGBCollector : public collect::Plain<F, false> {
};

// Formats with alpha: Rgba8888, Rgba5551, Rgba4444.
template <class F> class RGBACollector : public collect::Plain<F, true> {
};

template <class F> class RGBCollectorVoid : public collect::Keyed<F, false> {
public:
    using collect::Keyed<F, false>::Keyed;
};

template <class F> class RGBACollectorVoid : public collect::Keyed<F, true> {
public:
    using collect::Keyed<F, true>::Keyed;
};

} // namespace quarn::g
