// Layer III set-up, frame decoding, side information and the bit reservoir
// (ISO/IEC 11172-3 2.4.1.7, 2.4.2.7, 2.4.3.4; ISO/IEC 13818-3 2.4.3.2).
#include "engine/sound/mpeg/mpa_l3.h"

#include <algorithm>
#include <cstring>

namespace {

// Data past the threshold is moved to the front of the reservoir; a frame's
// back pointer reaches at most 511 bytes.
constexpr int32_t reservoir_size = 8192;
constexpr int32_t compact_threshold = 6692;

// Reader over the frame's header and side information; reads past the
// bytes available deliver zeros.
struct FrameReader {
    const uint8_t* p;
    int32_t n;
    int32_t pos = 0;

    uint32_t get(int32_t bits)
    {
        uint32_t v = 0;
        for (int32_t i = 0; i < bits; ++i, ++pos) {
            const int32_t byte = pos >> 3;
            const uint32_t bit = byte < n ? (p[byte] >> (7 - (pos & 7))) & 1u : 0u;
            v = (v << 1) | bit;
        }
        return v;
    }
};

// The header fields after the sync that both forms share. Returns false for
// a frame that does not belong to the stream set up.
bool read_header(mpaDec* dec, FrameReader& r, int32_t* bitrate_index)
{
    mpaL3& s = dec->l3;
    s.id = static_cast<int32_t>(r.get(1));
    const int32_t layer_code = static_cast<int32_t>(r.get(2));
    const int32_t protection = static_cast<int32_t>(r.get(1));
    *bitrate_index = static_cast<int32_t>(r.get(4));
    s.sampling_index = static_cast<int32_t>(r.get(2));
    s.padding = static_cast<int32_t>(r.get(1));
    r.get(1);
    s.mode = static_cast<int32_t>(r.get(2));
    s.mode_extension = static_cast<int32_t>(r.get(2));
    if (s.mode != 1) s.mode_extension = 0;
    s.mid_side = s.mode_extension >> 1;
    s.intensity = s.mode_extension & 1;
    if (protection) {
        r.get(4);
        s.crc_length = 0;
    } else {
        r.get(20);
        s.crc_length = 2;
    }
    // Band tables and rates were chosen for the set-up header; a frame of
    // another layer, version or rate cannot be decoded with them. The
    // channel mode may change from frame to frame: the granule decoding
    // fits the frame's channels to the set-up's output.
    s.frame_channels = s.mode == 3 ? 1 : 2;
    return layer_code == 1 && s.id == s.stream_id && s.sampling_index == s.stream_sampling && s.sampling_index != 3;
}

void read_channel_side(mpaDec* dec, FrameReader& r, mpaL3Side& side, bool mpeg1)
{
    mpaL3& s = dec->l3;
    side.part2_3_length = static_cast<int32_t>(r.get(12));
    side.big_values = static_cast<int32_t>(r.get(9));
    side.global_gain = static_cast<int32_t>(r.get(8)) + s.gain_offset - (s.mid_side ? 2 : 0);
    side.scalefac_compress = static_cast<int32_t>(r.get(mpeg1 ? 4 : 9));
    side.window_switching_flag = static_cast<int32_t>(r.get(1));
    if (side.window_switching_flag) {
        side.block_type = static_cast<int32_t>(r.get(2));
        side.mixed_block_flag = static_cast<int32_t>(r.get(1));
        side.table_select[0] = static_cast<int32_t>(r.get(5));
        side.table_select[1] = static_cast<int32_t>(r.get(5));
        for (int32_t& g : side.subblock_gain) g = static_cast<int32_t>(r.get(3));
        if (!mpeg1 && side.block_type == 2) {
            side.region0_count = 5;
            side.region1_count = 15;
        } else {
            side.region0_count = 7;
            side.region1_count = 13;
        }
    } else {
        side.block_type = 0;
        side.mixed_block_flag = 0;
        for (int32_t& t : side.table_select) t = static_cast<int32_t>(r.get(5));
        side.region0_count = static_cast<int32_t>(r.get(4));
        side.region1_count = static_cast<int32_t>(r.get(3));
    }
    side.preflag = mpeg1 ? static_cast<int32_t>(r.get(1)) : 0;
    side.scalefac_scale = static_cast<int32_t>(r.get(1));
    side.count1table_select = static_cast<int32_t>(r.get(1));
}

int32_t frame_bytes(int32_t factor, int32_t id, int32_t sampling_index, int32_t bitrate_index)
{
    const int32_t r50 = mpa_rates50[id & 1][sampling_index & 3];
    if (r50 == 0) return 0;
    return factor * mpaTableBitrate(1, id, bitrate_index) / r50;
}

// MPEG-1 side information; -1 for a frame that cannot be decoded.
int32_t side_info1(mpaDec* dec, FrameReader& r)
{
    mpaL3& s = dec->l3;
    int32_t bitrate_index;
    if (!read_header(dec, r, &bitrate_index)) return -1;
    if (bitrate_index != 0) s.frame_length = frame_bytes(2880, s.id, s.sampling_index, bitrate_index);
    s.main_data_begin = static_cast<int32_t>(r.get(9));
    r.get(s.mode == 3 ? 5 : 3);
    for (int32_t ch = 0; ch < s.frame_channels; ++ch) s.scfsi[ch] = static_cast<int32_t>(r.get(4));
    for (int32_t g = 0; g < 2; ++g) {
        for (int32_t ch = 0; ch < s.frame_channels; ++ch) {
            read_channel_side(dec, r, s.side[g][ch], true);
            if (s.side[g][ch].big_values > 288) return -1;
        }
    }
    return s.mode == 3 ? 21 : 36;
}

// MPEG-2 and 2.5 side information of one granule.
int32_t side_info2(mpaDec* dec, FrameReader& r, int32_t granule)
{
    mpaL3& s = dec->l3;
    int32_t bitrate_index;
    if (!read_header(dec, r, &bitrate_index)) return -1;
    if (bitrate_index != 0) s.frame_length = frame_bytes(s.mpeg25_flag ? 2880 : 1440, s.id, s.sampling_index, bitrate_index);
    s.main_data_begin = static_cast<int32_t>(r.get(8));
    r.get(s.mode == 3 ? 1 : 2);
    s.scfsi[0] = s.scfsi[1] = 0;
    for (int32_t ch = 0; ch < s.frame_channels; ++ch) {
        read_channel_side(dec, r, s.side[granule][ch], false);
        if (s.side[granule][ch].big_values > 288) return -1;
    }
    return s.mode == 3 ? 13 : 21;
}

// Appends the frame's main data to the reservoir. False when the frame is
// cut short or its main data cannot be held.
bool fill_reservoir(mpaDec* dec, const uint8_t* bs, int32_t avail, int32_t side_bytes)
{
    mpaL3& s = dec->l3;
    s.padded_length = s.frame_length + s.padding;
    if (s.padded_length > avail) return false;
    s.main_start = s.main_end - s.main_data_begin;
    const int32_t d = s.padded_length - s.crc_length - side_bytes;
    if (d < 0 || d > reservoir_size) return false;
    if (s.main_end > compact_threshold || s.main_end + d > reservoir_size) {
        // Only the bytes the frame still reaches back to survive.
        const int32_t keep = std::clamp(s.main_data_begin, 0, s.main_end);
        std::memmove(s.buf, s.buf + s.main_end - keep, static_cast<size_t>(keep));
        s.main_end = keep;
        s.main_start = s.main_end - s.main_data_begin;
        if (s.main_end + d > reservoir_size) return false;
    }
    std::memcpy(s.buf + s.main_end, bs + s.crc_length + side_bytes, static_cast<size_t>(d));
    s.main_end += d;
    return true;
}

}  // namespace

void mpaL3Defaults(mpaDec* dec)
{
    mpaL3& s = dec->l3;
    s.out_routine = mpaL3OutStereo;
    s.l3_synth = mpaL3SynthRoutine(0, 0, 1);
    s.frame_routine = mpaL3DecodeFrame1;
    s.sample_limit = 576;
    s.long_limit = 567;
    s.short_limit = 576;
    s.limit_subbands = 32;
    s.freq_subbands = 32;
}

int32_t mpaL3DecodeInit(mpaDec* dec, const mpaHead* head, int32_t frame_length, int32_t reduction,
                        int32_t /*transform*/, int32_t convert, int32_t freq_limit)
{
    mpaL3& s = dec->l3;
    s.main_start = s.main_end = 0;
    if (head->layer_code != 1 || head->sampling_index == 3 || (head->sync == 2 && head->id == 1) || head->sync == 0) {
        return 0;
    }
    s.mixed_long_bands = head->id == 1 ? 8 : 6;
    s.frame_length = frame_length;
    reduction = std::clamp(reduction, 0, 2);
    freq_limit = std::max(freq_limit, 1000);

    int32_t rate = mpa_l3_rates[head->id * 4 + head->sampling_index];
    if (head->sync == 2) rate /= 2;
    int32_t cap = 32 >> reduction;
    if (cap > 8) --cap;
    s.freq_subbands = std::min((rate / 2 + 64 * freq_limit) / rate, cap);

    s.band_row = head->sync == 2 ? head->sampling_index + 6 : head->sampling_index + 3 * head->id;
    const int16_t* row = mpa_l3_bands[s.band_row];
    // Every form decodes up to the top of its last scale-factor band (long
    // band 21, short band 12): those bands have no scale factors of their
    // own and are dequantised with 0.
    const int32_t long_end = row[22];
    const int32_t short_end = row[23 + 13];
    s.sample_limit = std::min(long_end + 8, 18 * s.freq_subbands);
    s.long_limit = std::min(long_end, s.sample_limit);
    s.short_limit = std::min(3 * short_end, s.sample_limit);
    s.limit_subbands = (s.sample_limit + 17) / 18;

    s.gain_offset = head->mode != 3 && (convert & 3) == 1 ? -4 : 0;

    const int32_t per_channel = (1152 >> reduction) >> (head->id == 0 ? 1 : 0);
    const int32_t channels = head->mode == 3 || (convert & 3) != 0 ? 1 : 2;
    const int32_t bits8 = (convert & 8) ? 1 : 0;
    s.l3_synth = mpaL3SynthRoutine(bits8, reduction, channels == 2);
    const int32_t m = head->mode == 3 ? 0 : (convert & 3) + 1;
    static constexpr mpaL3OutFn outs[5] = {mpaL3OutMono, mpaL3OutStereo, mpaL3OutMix, mpaL3OutMono, mpaL3OutRight};
    s.out_routine = outs[m];

    s.pcm_values = per_channel * channels;
    s.pcm_bytes = bits8 ? s.pcm_values : 2 * s.pcm_values;
    s.silence_byte = bits8 ? 128 : 0;
    s.half_pcm_bytes = s.pcm_bytes / 2;
    dec->pcm_values = s.pcm_values;
    dec->pcm_bytes = s.pcm_bytes;
    dec->frame_length = frame_length;
    dec->stream_mono = head->mode == 3 ? 1 : 0;
    dec->info.channels = channels;
    dec->info.pcm_values = s.pcm_values;
    dec->info.sample_rate = rate >> reduction;
    dec->info.bits = bits8 ? 8 : 16;
    dec->info.frame_length = frame_length;
    dec->info.kind = 0;

    for (int32_t i = 0; i < 22; ++i) {
        s.band_widths[0][i] = row[i + 1] - row[i];
        s.band_ends[0][i] = row[i + 1];
    }
    for (int32_t i = 0; i < 22; ++i) {
        s.band_widths[1][i] = i < 13 ? row[23 + i + 1] - row[23 + i] : 0;
        s.band_ends[1][i] = i < 13 ? 3 * row[23 + i + 1] : 576;
    }

    mpaL3InitTables(dec);
    mpaSynthReset(dec);
    std::memset(s.hybrid_out, 0, sizeof(s.hybrid_out));
    std::memset(s.spectrum, 0, sizeof(s.spectrum));
    std::memset(s.live_samples, 0, sizeof(s.live_samples));
    s.granule_parity = 0;

    s.stream_id = head->id;
    s.stream_sync = head->sync;
    s.stream_sampling = head->sampling_index;
    s.stream_channels = head->mode == 3 ? 1 : 2;
    s.frame_channels = s.stream_channels;
    s.frame_routine = head->id == 1 ? mpaL3DecodeFrame1 : mpaL3DecodeFrame2;
    return 1;
}

mpaResult mpaL3Decode(mpaDec* dec, const uint8_t* bitstream, int32_t avail, void* pcm)
{
    return dec->l3.frame_routine(dec, bitstream, avail, pcm);
}

mpaResult mpaL3DecodeFrame1(mpaDec* dec, const uint8_t* bs, int32_t avail, void* pcm)
{
    mpaL3& s = dec->l3;
    FrameReader r{bs, avail};
    if (r.get(12) != 0xFFF) return {0, 0};
    const int32_t side_bytes = side_info1(dec, r);
    if (side_bytes < 0) return {0, 0};
    if (!fill_reservoir(dec, bs, avail, side_bytes)) return {0, 0};
    if (s.main_start >= 0) {
        s.main_bit_pos = 8 * s.main_start;
        mpaL3DecodeGranule(dec, pcm, 0);
        mpaL3DecodeGranule(dec, static_cast<uint8_t*>(pcm) + s.half_pcm_bytes, 1);
    } else {
        std::memset(pcm, s.silence_byte, static_cast<size_t>(s.pcm_bytes));
    }
    return {static_cast<uint32_t>(s.padded_length), static_cast<uint32_t>(s.pcm_bytes)};
}

mpaResult mpaL3DecodeFrame2(mpaDec* dec, const uint8_t* bs, int32_t avail, void* pcm)
{
    mpaL3& s = dec->l3;
    FrameReader r{bs, avail};
    const uint32_t sync = r.get(12);
    if (sync == 0xFFF) {
        s.mpeg25_flag = 0;
    } else if (sync == 0xFFE) {
        s.mpeg25_flag = 1;
    } else {
        return {0, 0};
    }
    if (s.mpeg25_flag != (s.stream_sync == 2 ? 1 : 0)) return {0, 0};
    const int32_t g = s.granule_parity;
    const int32_t side_bytes = side_info2(dec, r, g);
    if (side_bytes < 0) return {0, 0};
    if (!fill_reservoir(dec, bs, avail, side_bytes)) return {0, 0};
    if (s.main_start >= 0) {
        s.main_bit_pos = 8 * s.main_start;
        mpaL3DecodeGranule(dec, pcm, g);
    } else {
        std::memset(pcm, s.silence_byte, static_cast<size_t>(s.pcm_bytes));
    }
    s.granule_parity = 1 - g;
    return {static_cast<uint32_t>(s.padded_length), static_cast<uint32_t>(s.pcm_bytes)};
}

int32_t mpaL3DecodeGranule(mpaDec* dec, void* pcm, int32_t g)
{
    mpaL3& s = dec->l3;
    const int16_t* row = mpa_l3_bands[s.band_row];
    s.bit_limit = s.main_end;
    for (int32_t ch = 0; ch < s.frame_channels; ++ch) {
        mpaL3Side& side = s.side[g][ch];
        mpaL3Sf& sf = s.scalefactors[g][ch];
        int32_t* q = s.quant[ch];
        s.bit_pos = s.main_bit_pos;
        s.main_bit_pos += side.part2_3_length;
        s.part_end = s.main_bit_pos;
        // A little slack: the last count1 quadruple may run a few bits over
        // the end in a sound stream, and is then dropped.
        s.bit_guard = s.part_end + 16;
        const bool missing = s.part_end > 8 * s.main_end;

        if (s.id == 1) {
            mpaL3ScaleFac1(dec, &sf, &side, s.scfsi[ch], g);
        } else {
            mpaL3ScaleFac2(dec, &sf, &side, s.intensity && ch == 1, &s.intensity_layout);
        }
        if (dec->eq != nullptr && dec->eq->enable != 0) {
            side.global_gain += static_cast<int32_t>(std::clamp(dec->eq->adjust, -300.0f, 300.0f));
        }

        // A short block codes its values band by band and, within a band,
        // window by window: the third window of the top bands comes last in
        // the bitstream although its lower lines lie below the limit. Such
        // a block reads all its values; the reordering puts them in
        // frequency order and the synthesis stops at the limit.
        const int32_t read_limit = side.block_type == 2 ? 576 : s.sample_limit;
        const int32_t r3 = std::min(2 * side.big_values, read_limit);
        const int32_t r1 = std::min<int32_t>(row[std::min(side.region0_count + 1, 22)], r3);
        const int32_t r2 = std::max(r1, std::min<int32_t>(row[std::min(side.region0_count + side.region1_count + 2, 22)], r3));
        mpaL3Huffman(dec, q, r1, side.table_select[0]);
        mpaL3Huffman(dec, q + r1, r2 - r1, side.table_select[1]);
        mpaL3Huffman(dec, q + r2, r3 - r2, side.table_select[2]);
        int32_t live = r3;
        if (!mpaL3Overrun(s)) {
            live += mpaL3HuffQuad(dec, q + r3, read_limit - r3, s.part_end - s.bit_pos, side.count1table_select);
        }
        std::fill(q + live, q + 576, 0);
        live = std::min(live, side.block_type == 2 ? s.short_limit : s.long_limit);
        s.live_samples[g][ch] = live;
        if (missing || mpaL3Overrun(s)) std::fill(q, q + 576, 0);
    }

    for (int32_t ch = 0; ch < s.frame_channels; ++ch) {
        mpaL3Dequant(dec, s.quant[ch], s.spectrum[ch][g], &s.live_samples[g][ch], &s.scalefactors[g][ch], &s.side[g][ch],
                     &s.band_summary[g][ch], s.mixed_long_bands);
    }

    if (s.frame_channels == 2) mpaL3Stereo(dec, g);

    for (int32_t ch = 0; ch < s.frame_channels; ++ch) {
        const mpaL3Bands& b = s.band_summary[g][ch];
        if (b.long_bands == 0) continue;
        const mpaL3Side& side = s.side[g][ch];
        const int32_t count = side.block_type == 2 && side.mixed_block_flag ? 1 : std::min((s.live_samples[g][ch] + 7) / 18, 31);
        mpaL3Antialias(dec, s.spectrum[ch][g], count);
        s.live_samples[g][ch] = std::max(s.live_samples[g][ch], 18 * count + 8);
    }

    // A single-channel frame in a two-channel set-up plays on both outputs;
    // a two-channel frame in a single-channel set-up plays its left channel
    // (the output routine takes channel 0).
    if (s.frame_channels < s.stream_channels) {
        std::memcpy(s.spectrum[1][g], s.spectrum[0][g], sizeof(s.spectrum[0][g]));
        s.side[g][1] = s.side[g][0];
        s.band_summary[g][1] = s.band_summary[g][0];
        s.live_samples[g][1] = s.live_samples[g][0];
    }

    return s.out_routine(dec, pcm, g);
}
