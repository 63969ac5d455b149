// Decoder state, set-up for layers I and II, and the entry points that
// dispatch to the layer routines.
#include "engine/sound/mpeg/mpa_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The layer II allocation tables of ISO/IEC 11172-3 (Table 3-B.2a to d) and
// ISO/IEC 13818-3 (Table B.1), as band counts per row and the quantisation
// class of each allocation value. Rows are read with 4, 4, 3 and 2 bits.
struct AllocTable {
    int32_t counts[4];
    int32_t classes[4][16];
};

constexpr AllocTable alloc_tables[5] = {
    {{3, 8, 12, 4},
     {{0, 1, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17},
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17},
      {0, 1, 2, 3, 4, 5, 6, 17},
      {0, 1, 2, 17}}},
    {{3, 8, 12, 7},
     {{0, 1, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17},
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17},
      {0, 1, 2, 3, 4, 5, 6, 17},
      {0, 1, 2, 17}}},
    {{2, 0, 6, 0}, {{0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, {}, {0, 1, 2, 4, 5, 6, 7, 8}, {}}},
    {{2, 0, 10, 0}, {{0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, {}, {0, 1, 2, 4, 5, 6, 7, 8}, {}}},
    {{4, 0, 7, 19},
     {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {}, {0, 1, 2, 4, 5, 6, 7, 8}, {0, 1, 2, 4}}},
};

// MPEG-1 layer II: which allocation table a combination of mode, rate and
// bit rate uses; -1 where the standard allows no such combination.
constexpr int8_t alloc_choice[2][3][16] = {
    {{1, -1, -1, -1, 2, -1, 2, 0, 0, 0, 1, 1, 1, 1, 1, -1},
     {0, -1, -1, -1, 2, -1, 2, 0, 0, 0, 0, 0, 0, 0, 0, -1},
     {1, -1, -1, -1, 3, -1, 3, 0, 0, 0, 1, 1, 1, 1, 1, -1}},
    {{1, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1},
     {0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1, -1},
     {1, 3, 3, 0, 0, 0, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1}},
};

constexpr int32_t out_channels[5] = {1, 2, 1, 1, 1};

bool head_fields_valid(const mpaHead* head)
{
    return head->id >= 0 && head->id <= 1 && head->layer_code >= 0 && head->layer_code <= 3 &&
           head->bitrate_index >= 0 && head->bitrate_index <= 15 && head->sampling_index >= 0 &&
           head->sampling_index <= 3 && head->mode >= 0 && head->mode <= 3 && head->sync >= 0 && head->sync <= 2;
}

int32_t clamp_reduction(int32_t reduction)
{
    return std::clamp(reduction, 0, 2);
}

// Subbands of R/64 Hz each up to the limit, rounded, capped by the rate.
int32_t limit_subbands(int32_t rate, int32_t freq_limit, int32_t reduction)
{
    int32_t limit = (rate / 2 + freq_limit * 64) / rate;
    int32_t cap = 32 >> reduction;
    if (cap > 8) --cap;
    return std::min(limit, cap);
}

// Steps 9 to 12 of set-up, shared by layers I and II.
void finish_setup(mpaDec* dec, const mpaHead* head, int32_t reduction, int32_t convert, int32_t rate)
{
    const int32_t m = head->mode == 3 ? 0 : (convert & 3) + 1;
    const int32_t bits8 = (convert & 8) ? 1 : 0;
    dec->synth = mpaSynthRoutine(bits8, reduction, m);
    dec->pcm_values *= out_channels[m];
    dec->pcm_bytes = bits8 ? dec->pcm_values : 2 * dec->pcm_values;
    dec->stream_mono = head->mode == 3 ? 1 : 0;
    dec->info.channels = out_channels[m];
    dec->info.pcm_values = dec->pcm_values;
    dec->info.sample_rate = rate >> reduction;
    dec->info.bits = bits8 ? 8 : 16;
    dec->info.frame_length = dec->frame_length;
    dec->info.kind = 0;
}

int32_t layer1_setup(mpaDec* dec, const mpaHead* head, int32_t frame_length, int32_t reduction, int32_t convert,
                     int32_t freq_limit)
{
    if (dec->first_l1) {
        mpaL1BuildFactors(dec);
        dec->first_l1 = 0;
    }
    reduction = clamp_reduction(reduction);
    dec->frame_length = frame_length;
    if (head->layer_code != 3 || head->sampling_index == 3) return 0;
    const int32_t rate = mpa_rates[head->id][head->sampling_index];
    dec->band_limit = limit_subbands(rate, std::max(freq_limit, 1000), reduction);
    (void)mpaL12Layout(dec, head->mode, head->bitrate_index);
    dec->pcm_values = 384 >> reduction;
    finish_setup(dec, head, reduction, convert, rate);
    std::memset(dec->samples, 0, 2 * 384 * sizeof(float));
    mpaSynthReset(dec);
    return 1;
}

}  // namespace

void mpaInit(mpaDec* dec, int32_t with_eq)
{
    mpaEq* eq = dec->eq;
    std::memset(static_cast<void*>(dec), 0, sizeof(mpaDec));
    if (with_eq) {
        // A failed allocation leaves the equaliser off; the decoder works
        // without it.
        eq = static_cast<mpaEq*>(std::malloc(sizeof(mpaEq)));
        if (eq) {
            eq->enable = 0;
            for (float& g : eq->gain) g = 1.0f;
            eq->adjust = 1.0f;
        }
    }
    dec->eq = eq;
    dec->decode = mpaL2Decode;
    dec->synth = mpaSynthRoutine(0, 0, 0);
    dec->first_tables = 1;
    dec->first_l1 = 1;
    dec->first_dct = 1;
    dec->samples = &dec->l3.spectrum[0][0][0];
    dec->combined0 = dec->combined[0];
    mpaL3Defaults(dec);
}

bool mpaL12Layout(mpaDec* dec, int32_t mode, int32_t bitrate_index)
{
    const int32_t channels = mode == 3 ? 1 : 2;
    int32_t table = -1;
    if (dec->stream_layer == 2) {
        table = 4;
        if (dec->stream_id == 1) {
            table = alloc_choice[mode == 3 ? 1 : 0][dec->stream_sampling & 3][bitrate_index & 15];
            if (table < 0) return false;
        }
    }
    if (channels == dec->layout_channels && table == dec->layout_table) return true;
    dec->layout_channels = channels;
    dec->layout_table = table;
    if (table < 0) {
        dec->alloc_count = 32;
        dec->l1_entries = 32;
        dec->decode_limit = dec->band_limit;
    } else {
        const AllocTable& t = alloc_tables[table];
        dec->alloc_count = 0;
        for (int32_t r = 0; r < 4; ++r) {
            dec->class_counts[r] = t.counts[r];
            dec->alloc_count += t.counts[r];
            for (int32_t a = 0; a < 16; ++a) dec->class_table[r][a] = t.classes[r][a];
        }
        dec->decode_limit = std::min(dec->band_limit, dec->alloc_count);
    }
    // Two channels: the counts are of channel-subband pairs of the
    // interleaved sample buffer.
    if (channels == 2) {
        for (int32_t& c : dec->class_counts) c *= 2;
        dec->alloc_count *= 2;
        dec->decode_limit *= 2;
        dec->l1_entries *= 2;
    }
    // Entries at and above the decode limit are never written; what an
    // earlier layout left there must not play.
    std::memset(dec->samples, 0, 2 * 1152 * sizeof(float));
    return true;
}

int32_t mpaDecodeInit(mpaDec* dec, const mpaHead* head, int32_t frame_length, int32_t reduction, int32_t transform,
                      int32_t convert, int32_t freq_limit)
{
    dec->ready = 0;
    if (!head_fields_valid(head) || frame_length <= 0) return 0;
    if (dec->first_tables) {
        mpaL12BuildTables(dec);
        dec->first_tables = 0;
    }
    static constexpr mpaDecodeFn routines[4] = {mpaL2Decode, mpaL3Decode, mpaL2Decode, mpaL1Decode};
    dec->decode = routines[head->layer_code & 3];
    dec->stream_id = head->id;
    dec->stream_layer = head->layer_code;
    dec->stream_sampling = head->sampling_index;
    dec->layout_channels = 0;
    int32_t ok = 0;
    if (head->layer_code == 3) {
        ok = layer1_setup(dec, head, frame_length, reduction, convert, freq_limit);
    } else if (head->layer_code == 1) {
        ok = mpaL3DecodeInit(dec, head, frame_length, reduction, transform, convert, freq_limit);
    } else {
        reduction = clamp_reduction(reduction);
        freq_limit = std::max(freq_limit, 1000);
        dec->frame_length = frame_length;
        if (head->layer_code != 2 || head->sampling_index == 3) return 0;
        const int32_t rate = mpa_rates[head->id][head->sampling_index];
        dec->band_limit = limit_subbands(rate, freq_limit, reduction);
        if (!mpaL12Layout(dec, head->mode, head->bitrate_index)) return 0;
        dec->pcm_values = 1152 >> reduction;
        finish_setup(dec, head, reduction, convert, rate);
        std::memset(dec->samples, 0, 2 * 1152 * sizeof(float));
        mpaSynthReset(dec);
        ok = 1;
    }
    dec->ready = ok;
    return ok;
}

void mpaGetInfo(const mpaDec* dec, mpaInfo* info)
{
    *info = dec->info;
}

mpaResult mpaDecode(mpaDec* dec, const uint8_t* bitstream, int32_t avail, void* pcm)
{
    // A state that no set-up accepted has no tables and no routine worth
    // running; answering "end of stream" keeps a caller from looping.
    if (!dec->ready || bitstream == nullptr || avail < 4) return {0, 0};
    return dec->decode(dec, bitstream, avail, pcm);
}

void mpaDone(mpaDec* dec)
{
    std::free(dec->eq);
    dec->eq = nullptr;
}
