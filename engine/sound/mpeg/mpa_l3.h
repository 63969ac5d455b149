// Internal declarations of the layer III decoder and its bit reader.
#pragma once

#include "engine/sound/mpeg/mpa_internal.h"

// Scale-factor band boundaries: rows 0-2 MPEG-2 (22.05, 24, 16 kHz), 3-5
// MPEG-1 (44.1, 48, 32 kHz), 6-8 MPEG-2.5 (11.025, 12, 8 kHz); 23 long
// boundaries then 14 short ones.
extern const int16_t mpa_l3_bands[9][37];
extern const int32_t mpa_l3_rates[8];
extern const int32_t mpa_l3_pretab[2][22];
extern const int32_t mpa_l3_slen[2][16];
extern const int32_t mpa_l3_sfb_counts[6][3][4];

// Reader over the reservoir. bit_limit is the end of the bytes held, in
// bytes: reads past it see zeros, so damaged side information can never
// read outside the reservoir.
inline uint32_t mpaL3Peek(const mpaL3& s, int32_t n)
{
    const int32_t byte = s.bit_pos >> 3;
    uint32_t v;
    if (byte >= 0 && byte + 4 <= s.bit_limit) {
        const uint8_t* p = s.buf + byte;
        v = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    } else {
        v = 0;
        for (int32_t i = 0; i < 4; ++i) {
            const int32_t b = byte + i;
            v = (v << 8) | ((b >= 0 && b < s.bit_limit) ? s.buf[b] : 0u);
        }
    }
    return (v << (s.bit_pos & 7)) >> (32 - n);
}

inline uint32_t mpaL3GetBits(mpaL3& s, int32_t n)
{
    if (n <= 0) return 0;
    const uint32_t v = mpaL3Peek(s, n);
    s.bit_pos += n;
    return v;
}

inline bool mpaL3Overrun(const mpaL3& s)
{
    return s.bit_pos > s.bit_guard;
}

// Frame and side information.
mpaResult mpaL3DecodeFrame1(mpaDec* dec, const uint8_t* bitstream, int32_t avail, void* pcm);
mpaResult mpaL3DecodeFrame2(mpaDec* dec, const uint8_t* bitstream, int32_t avail, void* pcm);
int32_t mpaL3DecodeGranule(mpaDec* dec, void* pcm, int32_t granule);

// Scale factors, Huffman decoding, dequantisation.
void mpaL3ScaleFac1(mpaDec* dec, mpaL3Sf* sf, const mpaL3Side* side, int32_t scfsi, int32_t granule);
void mpaL3ScaleFac2(mpaDec* dec, mpaL3Sf* sf, mpaL3Side* side, int32_t intensity_flag, mpaL3IsLayout* layout);
void mpaL3Huffman(mpaDec* dec, int32_t* dst, int32_t count, int32_t table);
int32_t mpaL3HuffQuad(mpaDec* dec, int32_t* dst, int32_t room, int32_t bits_left, int32_t table_b);
void mpaL3Dequant(mpaDec* dec, const int32_t* q, float* out, int32_t* live, const mpaL3Sf* sf,
                  const mpaL3Side* side, mpaL3Bands* bands, int32_t mixed_long_bands);

// Stereo and antialias. mpaL3Stereo runs mid/side and intensity stereo on
// granule g of a two-channel frame.
void mpaL3Stereo(mpaDec* dec, int32_t g);
void mpaL3MidSide(float* left, float* right, int32_t n);
// The first intensity band of the long bands and of each short window: the
// band above the highest one where the right (side) channel holds a nonzero
// value. A mixed block's long bands count only when its short part is
// silent; otherwise first_long is their count.
struct mpaL3IsRegions {
    int32_t first_long;
    int32_t first_short[3];
};
void mpaL3IntensityRegions(const mpaDec* dec, const float* right, const mpaL3Bands* bands1, mpaL3IsRegions* r);
void mpaL3Intensity1(mpaDec* dec, float* left, float* right, const mpaL3Sf* sf, const mpaL3Bands* bands1,
                     const mpaL3IsRegions* regions, int32_t mid_side);
void mpaL3Intensity2(mpaDec* dec, float* left, float* right, const mpaL3Sf* sf, const mpaL3Bands* bands1,
                     const mpaL3IsRegions* regions, const mpaL3IsLayout* layout, int32_t mid_side);
void mpaL3Antialias(const mpaDec* dec, float* x, int32_t boundaries);

// Hybrid synthesis and output. block_type 0..3, plus 4 for a mixed block.
int32_t mpaL3Hybrid(mpaDec* dec, float (*out)[24], float* input, const float* prev, int32_t block_type, int32_t long_samples,
                    int32_t all_samples, int32_t prev_samples);
int32_t mpaL3HybridSum(mpaDec* dec, float (*out)[24], const float* input, float* overlap, int32_t block_type, int32_t long_samples,
                       int32_t all_samples);
void mpaL3SumChannels(float* left, const float* right, int32_t n);
void mpaL3FreqInvert(float (*out)[24], int32_t n);
int32_t mpaL3OutMono(mpaDec* dec, void* pcm, int32_t granule);
int32_t mpaL3OutRight(mpaDec* dec, void* pcm, int32_t granule);
int32_t mpaL3OutStereo(mpaDec* dec, void* pcm, int32_t granule);
int32_t mpaL3OutMix(mpaDec* dec, void* pcm, int32_t granule);

// Huffman code tables of ISO/IEC 11172-3 Table 3-B.7 (big values) and the
// count1 table A.
struct mpaHuffCode {
    int32_t size;            // values per axis (2, 3, 4, 6, 8 or 16); 0 = no codes
    const uint16_t* codes;   // size x size, row-major by x
    const uint8_t* lengths;
};
extern const mpaHuffCode mpa_huff_codes[34];  // by table number, linbits tables share their base
extern const int32_t mpa_huff_linbits[34];
extern const uint8_t mpa_quad_a_codes[16];
extern const uint8_t mpa_quad_a_lengths[16];
