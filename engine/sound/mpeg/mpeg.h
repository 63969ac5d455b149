// MPEG audio decoder: MPEG-1, MPEG-2 and MPEG-2.5 audio, layers I, II and
// III (ISO/IEC 11172-3, ISO/IEC 13818-3), into interleaved 16-bit signed or
// 8-bit unsigned PCM.
//
// Plain functions over one state record that the caller owns: no classes,
// no exceptions, no messages. The caller holds the stream in memory, finds
// each frame with mpaFindHead and hands the decoder one whole frame at a
// time. A state is used by one thread at a time; states do not share
// anything writable, so different streams may be decoded on different
// threads.
//
// Typical use (what the sound system's MP3 source does):
//   mpaHead head; int rate, off;
//   int len = mpaFindHead(data, min(size, 4096), &head, &rate, &off);
//   mpaInit(dec, 1);
//   if (len == 0 || !mpaDecodeInit(dec, &head, len, 0, 0, 0, 24000)) fail;
//   mpaGetInfo(dec, &info);
//   loop: off = offset of the next header from mpaFindHead(data + pos, ...);
//         r = mpaDecode(dec, data + pos + off, size - pos - off, pcm4608);
//         if (r.consumed == 0) stop; pos += off + r.consumed;
//   mpaDone(dec);
#pragma once

#include <cstdint>

// One frame header; every field is taken from the header's four bytes.
struct mpaHead {
    int32_t sync = 0;            // 0 none, 1 MPEG-1/2 (0xFFF), 2 MPEG-2.5 (0xFFE)
    int32_t id = 0;              // 1 MPEG-1, 0 MPEG-2 and 2.5
    int32_t layer_code = 0;      // 3 layer I, 2 layer II, 1 layer III, 0 reserved
    int32_t protection = 0;      // 0: a 16-bit CRC follows the header
    int32_t bitrate_index = 0;   // 0 free format, 15 forbidden
    int32_t sampling_index = 0;  // 3 reserved
    int32_t padding = 0;
    int32_t private_bit = 0;
    int32_t mode = 0;            // 0 stereo, 1 joint, 2 dual channel, 3 mono
    int32_t mode_extension = 0;
    int32_t rights_bit = 0;
    int32_t orig_bit = 0;
    int32_t emphasis = 0;
};

// The PCM format that set-up chose.
struct mpaInfo {
    int32_t channels = 0;      // output channels, 1 or 2
    int32_t pcm_values = 0;    // PCM values per frame, all channels together
    int32_t sample_rate = 0;   // output rate in Hz
    int32_t bits = 0;          // 16 or 8
    int32_t frame_length = 0;  // the frame length given to set-up
    int32_t kind = 0;          // always 0
};

// Equaliser: 32 gains, one per subband, applied by the full-rate transform
// when enable is not 0, and a global gain adjustment for layer III.
struct mpaEq {
    uint32_t enable;
    float gain[32];
    float adjust;
};

// Result of mpaDecode: input bytes consumed and PCM bytes written. {0, 0}
// means the frame could not be decoded; callers take it as the stream's end.
struct mpaResult {
    uint32_t consumed;
    uint32_t written;
};

struct mpaDec;

using mpaDecodeFn = mpaResult (*)(mpaDec* dec, const uint8_t* bitstream, int32_t avail, void* pcm);
using mpaSynthFn = void (*)(mpaDec* dec, const float* rows, void* pcm, int32_t blocks);
// Layer III synthesis of one granule: 18 blocks of subband values,
// subband-major (blocks[24 sb + t]), of one channel, or of both (the second
// channel 768 floats on) into interleaved output.
using mpaL3SynthFn = void (*)(mpaDec* dec, const float* blocks, void* pcm);
using mpaL3OutFn = int32_t (*)(mpaDec* dec, void* pcm, int32_t granule);

// Layer III side information of one granule and channel.
struct mpaL3Side {
    int32_t part2_3_length;
    int32_t big_values;
    int32_t global_gain;  // already adjusted (mono mix, mid/side, equaliser)
    int32_t scalefac_compress;
    int32_t window_switching_flag;
    int32_t block_type;
    int32_t mixed_block_flag;
    int32_t table_select[3];
    int32_t subblock_gain[3];
    int32_t region0_count;
    int32_t region1_count;
    int32_t preflag;
    int32_t scalefac_scale;
    int32_t count1table_select;
};

// Scale factors of one granule and channel.
struct mpaL3Sf {
    int32_t long_sf[23];
    int32_t short_sf[3][13];
};

// MPEG-2 intensity layout of the right channel.
struct mpaL3IsLayout {
    int32_t bands[3];
    int32_t slen[3];
    int32_t intensity_scale;
};

// What dequantisation found in one granule and channel.
struct mpaL3Bands {
    int32_t has_short;
    int32_t max_band;
    int32_t first_short;
    int32_t long_bands;
    int32_t max_short_band[3];
};

// Layer III state.
struct mpaL3 {
    int32_t band_widths[2][22];
    int32_t band_ends[2][22];
    int32_t band_row;  // row of the band tables the stream uses
    int32_t mpeg25_flag;
    int32_t sample_limit;
    int32_t long_limit;
    int32_t short_limit;
    int32_t limit_subbands;
    int32_t freq_subbands;
    int32_t id;
    int32_t mixed_long_bands;
    int32_t gain_offset;
    int32_t sampling_index;
    int32_t pcm_values;
    int32_t pcm_bytes;
    int32_t half_pcm_bytes;
    int32_t frame_length;
    int32_t padded_length;
    int32_t crc_length;
    int32_t padding;
    int32_t stream_channels;  // channels of the set-up header
    int32_t frame_channels;   // channels of the frame being decoded
    int32_t mid_side;
    int32_t intensity;
    int32_t silence_byte;
    int32_t stream_id;        // id, sync and rate of the set-up header; frames
    int32_t stream_sync;      // that differ from them are refused
    int32_t stream_sampling;
    int32_t granule_parity;   // MPEG-2: which granule slot the next frame uses
    mpaL3Bands band_summary[2][2];
    mpaL3IsLayout intensity_layout;
    uint8_t buf[8192];
    int32_t main_start;
    int32_t main_end;
    int32_t main_bit_pos;
    int32_t mode;
    int32_t mode_extension;
    int32_t main_data_begin;
    int32_t scfsi[2];
    mpaL3Side side[2][2];
    mpaL3Sf scalefactors[2][2];
    int32_t live_samples[2][2];
    // Hybrid output per channel, subband-major: [channel][subband][time
    // slot], 18 slots used, the rest padding for four-block reads.
    alignas(32) float hybrid_out[2][32][24];
    // Spectrum of each channel and granule, then in place that channel's
    // overlap; layers I and II use the same storage as their sample buffer.
    float spectrum[2][2][576];
    mpaL3SynthFn l3_synth;
    mpaL3OutFn out_routine;
    mpaDecodeFn frame_routine;
    float windows[4][36];
    float alias_pairs[8][2];
    float is_ratios[2][8][2];
    float lsf_is_factors[2][2][64][2];
    float gain_table[262];
    float scale_table[2][4][32];
    float subblock_table[8];
    float reorder_buf[576];
    // Quantised values of the granule's channels, as Huffman decoding
    // leaves them for dequantisation.
    int32_t quant[2][576];
    // Bit reader over buf: absolute bit position, the end of the bytes held
    // in bytes (reads beyond it deliver zeros), the end of the current
    // granule-channel's data in bits and the guard past which its decoding
    // counts as overrun.
    int32_t bit_pos;
    int32_t bit_limit;
    int32_t part_end;
    int32_t bit_guard;
};

// The decoder state. The caller allocates it; mpaInit clears it.
struct mpaDec {
    // Layer I and II tables.
    float quant_factors[18];
    // Layer I/II bit reader; reads at or past `end` deliver zero bits.
    const uint8_t* byte_ptr;
    const uint8_t* end;
    uint32_t bit_buf;
    int32_t bits_held;
    uint32_t last_value;
    // Per stream and per frame.
    int32_t pcm_bytes;
    int32_t frame_length;
    int32_t pcm_values;
    int32_t frame_padding;
    int32_t joint_bound;
    int32_t stream_mono;  // the set-up header was single channel
    int32_t ready;        // a set-up succeeded
    // Layers I and II: id, layer code and rate of the set-up header (a
    // frame that differs ends the stream), the subbands that the frequency
    // limit and the rate reduction keep, and the channels and allocation
    // table (-1 for layer I) of the band layout loaded, which follows each
    // frame's mode and bit rate.
    int32_t stream_id;
    int32_t stream_layer;
    int32_t stream_sampling;
    int32_t band_limit;
    int32_t layout_channels;
    int32_t layout_table;
    int32_t frame_bytes;  // the current frame's length without padding
    mpaInfo info;
    // Layer I and II band state.
    int32_t alloc_count;
    int32_t decode_limit;
    int32_t first_tables;
    int32_t first_l1;
    int32_t skip_bits;
    int32_t class_counts[4];
    int32_t class_table[4][16];
    int32_t allocation[66];
    int32_t sample_dispatch[68];
    float class_factor[66];
    int32_t sf_dispatch[68];
    float sf_table[64];
    float combined[3][64];
    float* samples;
    int8_t group3[32][3];
    int8_t group5[128][3];
    int16_t group9[1024][3];
    mpaSynthFn synth;
    mpaDecodeFn decode;
    float* combined0;
    float l1_factors[16];
    int32_t l1_entries;
    mpaL3 l3;
    // Synthesis state.
    int32_t ring_pos;  // block of the newest values, 0..15
    alignas(32) float ring[2][16 * 64];
    int32_t first_dct;
    float dct_coef[31];
    mpaEq* eq;
};

// Scans buf for the first sync (0xFF then a byte whose high nibble is 0xF or
// 0xE) and parses the header there. Returns the frame length in bytes
// without padding, 0 when there is no usable header; sets *sync_offset to
// the header's offset and *bitrate to bit/s.
[[nodiscard]] int32_t mpaFindHead(const uint8_t* buf, int32_t n, mpaHead* head, int32_t* bitrate, int32_t* sync_offset);

// Parses the header at p (n bytes readable from p): frame length without
// padding (0 = unusable), and the bit rate in bit/s (measured for free
// format).
[[nodiscard]] int32_t mpaParseHead(const uint8_t* p, int32_t n, mpaHead* head, int32_t* bitrate);

// Fills head from the four bytes at p; returns the frame length without
// padding, 0 when the header is not usable.
[[nodiscard]] int32_t mpaParseHeadBytes(const uint8_t* p, int32_t n, mpaHead* head);

// Measures a free-format frame: window bytes readable from the header at p.
// Returns the frame length without padding, 0 when it cannot be measured.
[[nodiscard]] int32_t mpaFreeFormatSize(const uint8_t* p, int32_t window);

// Clears the state. with_eq != 0 allocates a new equaliser block (off, all
// gains 1.0); 0 keeps the block the state held.
void mpaInit(mpaDec* dec, int32_t with_eq);

// Sets the state up for the stream whose first header is head. reduction:
// 0 full, 1 half, 2 quarter rate. convert: bits 1..0 channel choice for
// stereo streams (0 both, 1 mono mix, 2 left, 3 right), bit 3 8-bit output.
// freq_limit: highest frequency to synthesise in Hz. transform is unused.
// Returns 1, or 0 when the stream cannot be decoded.
[[nodiscard]] int32_t mpaDecodeInit(mpaDec* dec, const mpaHead* head, int32_t frame_length, int32_t reduction,
                                    int32_t transform, int32_t convert, int32_t freq_limit);

void mpaGetInfo(const mpaDec* dec, mpaInfo* info);

// Decodes the frame whose header starts at bitstream; avail bytes are
// readable from there. pcm must hold 4608 bytes. Returns {0, 0} for a frame
// that cannot be decoded, a truncated one included.
[[nodiscard]] mpaResult mpaDecode(mpaDec* dec, const uint8_t* bitstream, int32_t avail, void* pcm);

// Frees the equaliser block; the state itself belongs to the caller.
void mpaDone(mpaDec* dec);
