// Layer I and layer II frame decoding (ISO/IEC 11172-3 2.4.3.2 and 2.4.3.3,
// ISO/IEC 13818-3 2.4.3.1 for the low sample rates).
//
// Each frame first turns its allocation into a flat list of dispatch codes,
// one per entry (subband and channel), with a skip code at the decode limit
// and an end code after the last entry, so the sample rows run without
// looking at counts, bounds or classes again.
#include "engine/sound/mpeg/mpa_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int32_t steps[18] = {0,   3,   5,    7,    9,    15,   31,    63,    127,
                               255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};
constexpr int32_t granule_bits[18] = {0, 5, 7, 9, 10, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45, 48};
constexpr int32_t joint_bounds[16] = {64, 64, 64, 64, 8, 16, 24, 32, 64, 64, 64, 64, 32, 32, 32, 32};

// Dispatch codes behind the per-class codes.
constexpr int32_t l2_joint = 18, l2_end = 36, l2_skip = 37;
constexpr int32_t l1_joint = 15, l1_end = 30, l1_skip = 31;

// The reader never looks at or past `end`: a damaged allocation that asks
// for more bits than the frame holds reads zeros.
inline uint8_t next_byte(mpaDec* dec)
{
    if (dec->byte_ptr < dec->end) return *dec->byte_ptr++;
    return 0;
}

inline uint32_t read_bits(mpaDec* dec, int32_t n)
{
    if (dec->bits_held < n) {
        while (dec->bits_held < 25) {
            dec->bit_buf = (dec->bit_buf << 8) | next_byte(dec);
            dec->bits_held += 8;
        }
    }
    dec->bits_held -= n;
    const uint32_t v = dec->bit_buf >> dec->bits_held;
    dec->bit_buf &= (dec->bits_held ? (0xFFFFFFFFu >> (32 - dec->bits_held)) : 0u);
    dec->last_value = v;
    return v;
}

inline void skip_bits(mpaDec* dec, int32_t m)
{
    if (m <= 0) return;
    if (m > dec->bits_held) {
        const int32_t rest = m - dec->bits_held;
        const int32_t bytes = rest / 8;
        if (dec->end - dec->byte_ptr < bytes) {
            dec->byte_ptr = dec->end;
        } else {
            dec->byte_ptr += bytes;
        }
        dec->bit_buf = next_byte(dec);
        dec->bits_held = 8 - rest % 8;
        dec->bit_buf &= 0xFFu >> (8 - dec->bits_held);
    } else {
        dec->bits_held -= m;
        dec->bit_buf &= (dec->bits_held ? (0xFFFFFFFFu >> (32 - dec->bits_held)) : 0u);
    }
}

inline float product(int32_t v, float f)
{
    return static_cast<float>(static_cast<double>(v) * f);
}

// Reads the header, loads the frame's band layout and sets its length,
// padding and joint bound. Returns false when the sync is missing, the
// frame is cut short or does not belong to the stream set up: another
// version, layer or sample rate ends the stream, while the channel mode and
// the bit rate may change from frame to frame.
bool read_header(mpaDec* dec, const uint8_t* bs, int32_t avail, int32_t pad_unit)
{
    dec->byte_ptr = bs;
    dec->end = bs + avail;
    dec->bit_buf = 0;
    dec->bits_held = 0;
    if (read_bits(dec, 12) != 0xFFF) return false;
    const int32_t id = static_cast<int32_t>(read_bits(dec, 1));
    const int32_t layer = static_cast<int32_t>(read_bits(dec, 2));
    const uint32_t protection = read_bits(dec, 1);
    const int32_t bitrate_index = static_cast<int32_t>(read_bits(dec, 4));
    const int32_t sampling = static_cast<int32_t>(read_bits(dec, 2));
    dec->frame_padding = static_cast<int32_t>(read_bits(dec, 1)) * pad_unit;
    read_bits(dec, 1);
    const uint32_t v = read_bits(dec, 4);
    read_bits(dec, 4);
    if (protection == 0) read_bits(dec, 16);
    if (id != dec->stream_id || layer != dec->stream_layer || sampling != dec->stream_sampling || bitrate_index == 15) {
        return false;
    }
    const int32_t mode = static_cast<int32_t>(v >> 2);
    if (!mpaL12Layout(dec, mode, bitrate_index)) return false;
    // Free format keeps the length given to set-up.
    dec->frame_bytes = dec->frame_length;
    if (bitrate_index != 0) {
        const int32_t b = mpaTableBitrate(layer, id, bitrate_index);
        const int32_t r50 = mpa_rates50[id][sampling];
        dec->frame_bytes = layer == 3 ? (240 * b / r50) * 4 : 2880 * b / r50;
    }
    dec->joint_bound = mode == 3 ? 64 : joint_bounds[v];
    const int32_t frame_bytes = dec->frame_bytes + dec->frame_padding;
    if (frame_bytes > avail) return false;
    dec->end = bs + frame_bytes;
    return true;
}

// The decoded rows (64 floats each) hold the frame's channels; the
// synthesis reads the set-up's. A single-channel frame in a two-channel
// stream plays on both channels, a two-channel frame in a single-channel
// stream plays its left channel. Entries at and above the decode limit were
// not written by this frame and count as 0.
void fit_channels(mpaDec* dec, float* rows, int32_t count)
{
    const bool frame_mono = dec->layout_channels == 1;
    if (frame_mono == (dec->stream_mono != 0)) return;
    const int32_t limit = dec->decode_limit;
    for (float* row = rows; row < rows + 64 * count; row += 64) {
        if (frame_mono) {
            for (int32_t p = 31; p >= 0; --p) row[2 * p] = row[2 * p + 1] = p < limit ? row[p] : 0.0f;
        } else {
            for (int32_t p = 0; p < 32; ++p) row[p] = 2 * p < limit ? row[2 * p] : 0.0f;
        }
    }
}

// The three values of one granule of class c (grouped or not), centred.
inline void read_triple(mpaDec* dec, int32_t c, int32_t* v)
{
    if (c == 1) {
        const int8_t* g = dec->group3[read_bits(dec, 5)];
        v[0] = g[0], v[1] = g[1], v[2] = g[2];
    } else if (c == 2) {
        const int8_t* g = dec->group5[read_bits(dec, 7)];
        v[0] = g[0], v[1] = g[1], v[2] = g[2];
    } else if (c == 4) {
        const int16_t* g = dec->group9[read_bits(dec, 10)];
        v[0] = g[0], v[1] = g[1], v[2] = g[2];
    } else {
        const int32_t bits = c == 3 ? 3 : c - 1;
        const int32_t mid = (steps[c] - 1) / 2;
        for (int32_t i = 0; i < 3; ++i) v[i] = static_cast<int32_t>(read_bits(dec, bits)) - mid;
    }
}

}  // namespace

void mpaL12BuildTables(mpaDec* dec)
{
    dec->quant_factors[0] = 0.0f;
    for (int32_t c = 1; c < 18; ++c) dec->quant_factors[c] = static_cast<float>(2.0 / steps[c]);
    for (int32_t i = 0; i < 64; ++i) dec->sf_table[i] = static_cast<float>(std::pow(2.0, i * (-1.0 / 3.0)) * 65536.0);
    for (int32_t i = 0; i < 32; ++i) {
        dec->group3[i][0] = static_cast<int8_t>(i % 3 - 1);
        dec->group3[i][1] = static_cast<int8_t>(i / 3 % 3 - 1);
        dec->group3[i][2] = static_cast<int8_t>(i / 9 % 3 - 1);
    }
    for (int32_t i = 0; i < 128; ++i) {
        dec->group5[i][0] = static_cast<int8_t>(i % 5 - 2);
        dec->group5[i][1] = static_cast<int8_t>(i / 5 % 5 - 2);
        dec->group5[i][2] = static_cast<int8_t>(i / 25 % 5 - 2);
    }
    for (int32_t i = 0; i < 1024; ++i) {
        dec->group9[i][0] = static_cast<int16_t>(i % 9 - 4);
        dec->group9[i][1] = static_cast<int16_t>(i / 9 % 9 - 4);
        dec->group9[i][2] = static_cast<int16_t>(i / 81 % 9 - 4);
    }
}

void mpaL1BuildFactors(mpaDec* dec)
{
    dec->l1_factors[0] = 0.0f;
    for (int32_t v = 1; v < 16; ++v) dec->l1_factors[v] = static_cast<float>(2.0 / (std::pow(2.0, v + 1) - 1.0));
}

mpaResult mpaL2Decode(mpaDec* dec, const uint8_t* bs, int32_t avail, void* pcm)
{
    if (!read_header(dec, bs, avail, 1)) return {0, 0};

    // Allocation.
    static constexpr int32_t row_bits[4] = {4, 4, 3, 2};
    dec->skip_bits = 0;
    int32_t bound = dec->joint_bound;
    int32_t k = 0;
    for (int32_t r = 0; r < 4; ++r) {
        int32_t count = dec->class_counts[r];
        while (count > 0 && k < 64) {
            const int32_t c = dec->class_table[r][read_bits(dec, row_bits[r])];
            dec->allocation[k] = c;
            dec->sample_dispatch[k] = c;
            dec->class_factor[k] = dec->quant_factors[c];
            if (k >= dec->decode_limit) dec->skip_bits += granule_bits[c];
            if (--bound < 0) {
                dec->allocation[k + 1] = c;
                dec->class_factor[k + 1] = dec->class_factor[k];
                dec->sample_dispatch[k] = c + l2_joint;
                dec->sample_dispatch[k + 1] = c + l2_joint;
                ++k;
                --count;
            }
            ++k;
            --count;
        }
    }
    const int32_t entries = k;
    dec->sample_dispatch[dec->decode_limit] = l2_skip;
    dec->sample_dispatch[entries] = l2_end;

    // Scale-factor selection and scale factors.
    for (int32_t e = 0; e < entries; ++e) dec->sf_dispatch[e] = dec->allocation[e] ? static_cast<int32_t>(read_bits(dec, 2)) : 4;
    dec->sf_dispatch[entries] = 5;
    for (int32_t e = 0; e < entries; ++e) {
        const float cf = dec->class_factor[e];
        float* c0 = &dec->combined[0][e];
        float* c1 = &dec->combined[1][e];
        float* c2 = &dec->combined[2][e];
        switch (dec->sf_dispatch[e]) {
        case 0: {
            const int32_t a = read_bits(dec, 6), b = read_bits(dec, 6), c = read_bits(dec, 6);
            *c0 = cf * dec->sf_table[a], *c1 = cf * dec->sf_table[b], *c2 = cf * dec->sf_table[c];
            break;
        }
        case 1: {
            const int32_t a = read_bits(dec, 6), b = read_bits(dec, 6);
            *c0 = *c1 = cf * dec->sf_table[a], *c2 = cf * dec->sf_table[b];
            break;
        }
        case 2: *c0 = *c1 = *c2 = cf * dec->sf_table[read_bits(dec, 6)]; break;
        case 3: {
            const int32_t a = read_bits(dec, 6), b = read_bits(dec, 6);
            *c0 = cf * dec->sf_table[a], *c1 = *c2 = cf * dec->sf_table[b];
            break;
        }
        default: break;
        }
    }

    // Samples: 3 parts of 4 granules of 3 rows.
    float* rows = dec->samples;
    for (int32_t p = 0; p < 3; ++p) {
        const float* f = dec->combined[p];
        for (int32_t g = 0; g < 4; ++g, rows += 192) {
            int32_t e = 0;
            for (bool more = true; more && e < 64;) {
                const int32_t code = dec->sample_dispatch[e];
                int32_t v[3];
                if (code == 0) {
                    rows[e] = rows[e + 64] = rows[e + 128] = 0.0f;
                    ++e;
                } else if (code < l2_joint) {
                    read_triple(dec, code, v);
                    for (int32_t i = 0; i < 3; ++i) rows[e + 64 * i] = product(v[i], f[e]);
                    ++e;
                } else if (code == l2_joint) {
                    for (int32_t i = 0; i < 3; ++i) rows[e + 64 * i] = rows[e + 1 + 64 * i] = 0.0f;
                    e += 2;
                } else if (code < l2_end) {
                    read_triple(dec, code - l2_joint, v);
                    for (int32_t i = 0; i < 3; ++i) {
                        rows[e + 64 * i] = product(v[i], f[e]);
                        rows[e + 1 + 64 * i] = product(v[i], f[e + 1]);
                    }
                    e += 2;
                } else {
                    if (code == l2_skip) skip_bits(dec, dec->skip_bits);
                    more = false;
                }
            }
        }
    }

    fit_channels(dec, dec->samples, 36);
    dec->synth(dec, dec->samples, pcm, 36);
    return {static_cast<uint32_t>(dec->frame_bytes + dec->frame_padding), static_cast<uint32_t>(dec->pcm_bytes)};
}

mpaResult mpaL1Decode(mpaDec* dec, const uint8_t* bs, int32_t avail, void* pcm)
{
    if (!read_header(dec, bs, avail, 4)) return {0, 0};

    dec->skip_bits = 0;
    int32_t bound = dec->joint_bound;
    int32_t k = 0;
    while (k < dec->l1_entries) {
        int32_t a = static_cast<int32_t>(read_bits(dec, 4));
        // 15 is forbidden; its code would collide with the joint and end
        // codes, so the band counts as not allocated.
        if (a == 15) a = 0;
        dec->allocation[k] = a;
        dec->sample_dispatch[k] = a;
        dec->class_factor[k] = dec->l1_factors[a];
        if (k >= dec->decode_limit) dec->skip_bits += a ? a + 1 : 0;
        if (--bound < 0 && k + 1 < 64) {
            dec->allocation[k + 1] = a;
            dec->class_factor[k + 1] = dec->class_factor[k];
            dec->sample_dispatch[k] = a + l1_joint;
            dec->sample_dispatch[k + 1] = a + l1_joint;
            ++k;
        }
        ++k;
    }
    const int32_t entries = k;
    dec->sample_dispatch[dec->decode_limit] = l1_skip;
    dec->sample_dispatch[entries] = l1_end;

    float* f = dec->combined0;
    for (int32_t e = 0; e < entries; ++e) {
        if (dec->allocation[e]) f[e] = dec->sf_table[read_bits(dec, 6)] * dec->class_factor[e];
    }

    float* rows = dec->samples;
    for (int32_t r = 0; r < 12; ++r, rows += 64) {
        int32_t e = 0;
        for (bool more = true; more && e < 64;) {
            const int32_t code = dec->sample_dispatch[e];
            if (code == 0) {
                rows[e++] = 0.0f;
            } else if (code < l1_joint) {
                const int32_t v = static_cast<int32_t>(read_bits(dec, code + 1)) - ((1 << code) - 1);
                rows[e] = product(v, f[e]);
                ++e;
            } else if (code == l1_joint) {
                rows[e] = rows[e + 1] = 0.0f;
                e += 2;
            } else if (code < l1_end) {
                const int32_t a = code - l1_joint;
                const int32_t v = static_cast<int32_t>(read_bits(dec, a + 1)) - ((1 << a) - 1);
                rows[e] = product(v, f[e]);
                rows[e + 1] = product(v, f[e + 1]);
                e += 2;
            } else {
                if (code == l1_skip) skip_bits(dec, dec->skip_bits);
                more = false;
            }
        }
    }

    fit_channels(dec, dec->samples, 12);
    dec->synth(dec, dec->samples, pcm, 12);
    return {static_cast<uint32_t>(dec->frame_bytes + dec->frame_padding), static_cast<uint32_t>(dec->pcm_bytes)};
}
