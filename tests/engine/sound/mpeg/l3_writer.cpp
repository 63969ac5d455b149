#include "l3_writer.h"

#include "engine/sound/mpeg/mpa_l3.h"

#include <algorithm>
#include <cstdlib>

namespace mpegtest {

namespace {

class Bits {
public:
    void put(uint32_t v, int32_t n)
    {
        for (int32_t i = n - 1; i >= 0; --i, ++count) {
            if (count % 8 == 0) bytes.push_back(0);
            bytes.back() |= static_cast<uint8_t>(((v >> i) & 1) << (7 - count % 8));
        }
    }
    std::vector<uint8_t> bytes;
    int32_t count = 0;
};

// Scale-factor widths of ISO/IEC 11172-3 by scalefac_compress.
constexpr int32_t slen1[16] = {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4};
constexpr int32_t slen2[16] = {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3};

struct Fail {};

void put_sf(Bits& w, int32_t value, int32_t bits)
{
    if (value < 0 || value >= (1 << bits)) throw Fail{};
    w.put(static_cast<uint32_t>(value), bits);
}

void scale_factors1(Bits& w, const L3Channel& c)
{
    const int32_t a = slen1[c.scalefac_compress & 15], b = slen2[c.scalefac_compress & 15];
    if (c.block_type != 2) {
        for (int32_t sfb = 0; sfb < 21; ++sfb) put_sf(w, c.long_sf[sfb], sfb < 11 ? a : b);
        return;
    }
    if (c.mixed) {
        for (int32_t sfb = 0; sfb < 8; ++sfb) put_sf(w, c.long_sf[sfb], a);
    }
    for (int32_t sfb = c.mixed ? 3 : 0; sfb < 12; ++sfb) {
        for (int32_t win = 0; win < 3; ++win) put_sf(w, c.short_sf[win][sfb], sfb < 6 ? a : b);
    }
}

// ISO/IEC 13818-3: the widths and the scale-factor counts of each group
// (short counts are band x window) for the two forms the writer offers.
void scale_factors2(Bits& w, const L3Channel& c, bool intensity_channel)
{
    const int32_t sc = c.scalefac_compress;
    int32_t slen[4] = {};
    const int32_t kind = c.block_type != 2 ? 0 : c.mixed ? 2 : 1;
    static constexpr int32_t plain_counts[3][4] = {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}};
    static constexpr int32_t intensity_counts[3][4] = {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}};
    const int32_t* counts;
    if (intensity_channel) {
        const int32_t h = sc >> 1;
        if (h >= 180) throw Fail{};
        slen[0] = h / 36, slen[1] = h % 36 / 6, slen[2] = h % 6;
        counts = intensity_counts[kind];
    } else {
        if (sc >= 400) throw Fail{};
        slen[0] = (sc >> 4) / 5, slen[1] = (sc >> 4) % 5, slen[2] = (sc & 15) >> 2, slen[3] = sc & 3;
        counts = plain_counts[kind];
    }
    int32_t n = 0;  // scale factors written so far
    const int32_t long_count = kind == 0 ? 21 : kind == 2 ? 6 : 0;
    const int32_t first_short = kind == 2 ? 3 : 0;
    for (int32_t k = 0; k < 4; ++k) {
        for (int32_t i = 0; i < counts[k]; ++i, ++n) {
            if (n < long_count) {
                put_sf(w, c.long_sf[n], slen[k]);
            } else {
                const int32_t m = n - long_count;
                put_sf(w, c.short_sf[m % 3][first_short + m / 3], slen[k]);
            }
        }
    }
}

void put_value(Bits& w, int32_t v, int32_t linbits)
{
    const int32_t a = std::abs(v);
    if (linbits && a >= 15) w.put(static_cast<uint32_t>(a - 15), linbits);
    if (a) w.put(v < 0 ? 1u : 0u, 1);
}

void put_pair(Bits& w, int32_t table, int32_t x, int32_t y)
{
    const mpaHuffCode& t = mpa_huff_codes[table];
    const int32_t linbits = mpa_huff_linbits[table];
    if (t.size == 0) {
        if (x || y) throw Fail{};
        return;
    }
    const int32_t cx = std::min(std::abs(x), linbits ? 15 : 99), cy = std::min(std::abs(y), linbits ? 15 : 99);
    const int32_t top = linbits ? 15 + (1 << linbits) - 1 : t.size - 1;
    if (cx >= t.size || cy >= t.size || std::abs(x) > top || std::abs(y) > top) throw Fail{};
    const int32_t i = cx * t.size + cy;
    w.put(t.codes[i], t.lengths[i]);
    put_value(w, x, linbits);
    put_value(w, y, linbits);
}

struct Side {
    int32_t part2_3_length;
    int32_t big_values;
    int32_t region0_count;
    int32_t region1_count;
};

Side channel_data(Bits& w, const L3Channel& c, bool mpeg1, bool intensity_channel, const int16_t* row)
{
    const int32_t start = w.count;
    if (mpeg1) {
        scale_factors1(w, c);
    } else {
        scale_factors2(w, c, intensity_channel);
    }
    int32_t last_big = -1, last = -1;
    for (int32_t i = 0; i < 576; ++i) {
        if (std::abs(c.q[i]) > 1) last_big = i;
        if (c.q[i]) last = i;
    }
    int32_t big = (last_big + 2) / 2 * 2;
    int32_t quads = last >= big ? (last - big + 4) / 4 : 0;
    if (big + 4 * quads > 576) big = (last + 2) / 2 * 2, quads = 0;

    Side side{0, big / 2, 7, 7};
    int32_t r1, r2;
    if (c.block_type == 0) {
        r1 = row[side.region0_count + 1];
        r2 = row[side.region0_count + side.region1_count + 2];
    } else {
        r1 = !mpeg1 && c.block_type == 2 ? row[6] : row[8];
        r2 = 576;
    }
    for (int32_t i = 0; i < big; i += 2) {
        put_pair(w, c.table_select[i < r1 ? 0 : i < r2 ? 1 : 2], c.q[i], c.q[i + 1]);
    }
    for (int32_t k = 0; k < quads; ++k) {
        const int32_t* v = c.q + big + 4 * k;
        int32_t bits = 0;
        for (int32_t j = 0; j < 4; ++j) {
            if (std::abs(v[j]) > 1) throw Fail{};
            bits = (bits << 1) | (v[j] ? 1 : 0);
        }
        if (c.count1_table_b) {
            w.put(static_cast<uint32_t>(bits ^ 15), 4);
        } else {
            w.put(mpa_quad_a_codes[bits], mpa_quad_a_lengths[bits]);
        }
        for (int32_t j = 0; j < 4; ++j) {
            if (v[j]) w.put(v[j] < 0 ? 1u : 0u, 1);
        }
    }
    side.part2_3_length = w.count - start;
    return side;
}

void side_channel(Bits& w, const L3Channel& c, const Side& s, bool mpeg1)
{
    w.put(static_cast<uint32_t>(s.part2_3_length), 12);
    w.put(static_cast<uint32_t>(s.big_values), 9);
    w.put(static_cast<uint32_t>(c.global_gain), 8);
    w.put(static_cast<uint32_t>(c.scalefac_compress), mpeg1 ? 4 : 9);
    w.put(c.block_type ? 1u : 0u, 1);
    if (c.block_type) {
        w.put(static_cast<uint32_t>(c.block_type), 2);
        w.put(c.mixed ? 1u : 0u, 1);
        for (int32_t r = 0; r < 2; ++r) w.put(static_cast<uint32_t>(c.table_select[r]), 5);
        for (const int32_t g : c.subblock_gain) w.put(static_cast<uint32_t>(g), 3);
    } else {
        for (const int32_t t : c.table_select) w.put(static_cast<uint32_t>(t), 5);
        w.put(static_cast<uint32_t>(s.region0_count), 4);
        w.put(static_cast<uint32_t>(s.region1_count), 3);
    }
    if (mpeg1) w.put(c.preflag ? 1u : 0u, 1);
    w.put(c.scalefac_scale ? 1u : 0u, 1);
    w.put(c.count1_table_b ? 1u : 0u, 1);
}

std::vector<uint8_t> frame_bytes(const L3Frame& f)
{
    const bool mpeg1 = f.id == 1;
    const int32_t channels = f.mode == 3 ? 1 : 2;
    const int32_t granules = mpeg1 ? 2 : 1;
    const int16_t* row = mpa_l3_bands[f.sampling_index + (mpeg1 ? 3 : 0)];
    Bits main;
    Side sides[2][2];
    for (int32_t g = 0; g < granules; ++g) {
        for (int32_t ch = 0; ch < channels; ++ch) {
            sides[g][ch] = channel_data(main, f.gr[g][ch], mpeg1, ch == 1 && (f.mode_extension & 1), row);
        }
    }
    Bits w;
    w.put(0xFFF, 12), w.put(mpeg1 ? 1u : 0u, 1), w.put(1, 2), w.put(1, 1);
    w.put(static_cast<uint32_t>(f.bitrate_index), 4), w.put(static_cast<uint32_t>(f.sampling_index), 2), w.put(0, 2);
    w.put(static_cast<uint32_t>(f.mode), 2), w.put(static_cast<uint32_t>(f.mode_extension), 2), w.put(0, 4);
    w.put(0, mpeg1 ? 9 : 8);  // main_data_begin
    w.put(0, mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2));
    if (mpeg1) w.put(0, 4 * channels);  // scfsi
    for (int32_t g = 0; g < granules; ++g) {
        for (int32_t ch = 0; ch < channels; ++ch) side_channel(w, f.gr[g][ch], sides[g][ch], mpeg1);
    }
    const int32_t rate = mpa_rates[f.id][f.sampling_index];
    const int32_t length = (mpeg1 ? 144000 : 72000) * mpaTableBitrate(1, f.id, f.bitrate_index) / rate;
    std::vector<uint8_t> out = w.bytes;
    out.insert(out.end(), main.bytes.begin(), main.bytes.end());
    if (static_cast<int32_t>(out.size()) > length) throw Fail{};
    out.resize(static_cast<size_t>(length), 0);
    return out;
}

}  // namespace

std::vector<uint8_t> write_l3(const std::vector<L3Frame>& frames)
{
    std::vector<uint8_t> out;
    try {
        for (const L3Frame& f : frames) {
            const auto bytes = frame_bytes(f);
            out.insert(out.end(), bytes.begin(), bytes.end());
        }
    } catch (const Fail&) {
        return {};
    }
    return out;
}

}  // namespace mpegtest
