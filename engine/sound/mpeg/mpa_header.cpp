// Frame search, header parsing and frame lengths (ISO/IEC 11172-3 2.4.2.3,
// ISO/IEC 13818-3 2.4.2.3, and the MPEG-2.5 sync of 11 ones).
#include "engine/sound/mpeg/mpa_internal.h"

#include <algorithm>

const int16_t mpa_bitrates[3][2][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}},
    {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0}},
    {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};

const int32_t mpa_rates[2][4] = {{22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};
const int32_t mpa_rates50[2][4] = {{441, 480, 320, 0}, {882, 960, 640, 0}};

int32_t mpaTableBitrate(int32_t layer_code, int32_t id, int32_t index)
{
    if (layer_code < 1 || layer_code > 3 || id < 0 || id > 1 || index < 0 || index > 15) return 0;
    return mpa_bitrates[3 - layer_code][id][index];
}

int32_t mpaParseHeadBytes(const uint8_t* p, int32_t n, mpaHead* head)
{
    if (n < 4 || p[0] != 0xFF) return 0;
    const uint8_t b1 = p[1], b2 = p[2], b3 = p[3];
    if ((b1 & 0xF0) == 0xF0) {
        head->sync = 1;
    } else if ((b1 & 0xF0) == 0xE0) {
        head->sync = 2;
    } else {
        head->sync = 0;
        return 0;
    }
    head->id = (b1 >> 3) & 1;
    head->layer_code = (b1 >> 1) & 3;
    head->protection = b1 & 1;
    head->bitrate_index = b2 >> 4;
    head->sampling_index = (b2 >> 2) & 3;
    head->padding = (b2 >> 1) & 1;
    head->private_bit = b2 & 1;
    head->mode = b3 >> 6;
    head->mode_extension = (b3 >> 4) & 3;
    head->rights_bit = (b3 >> 3) & 1;
    head->orig_bit = (b3 >> 2) & 1;
    head->emphasis = b3 & 3;
    if (head->layer_code == 0) return 0;
    // The reserved rate has no length; MPEG-2.5 exists only with the MPEG-2
    // id. Both would otherwise give a length of 0 or nonsense that makes a
    // caller stall.
    if (head->sampling_index == 3) return 0;
    if (head->sync == 2 && head->id == 1) return 0;

    if (head->bitrate_index == 0) return mpaFreeFormatSize(p, std::min(n, 10000));
    const int32_t b = mpaTableBitrate(head->layer_code, head->id, head->bitrate_index);
    const int32_t r50 = mpa_rates50[head->id][head->sampling_index];
    switch (head->layer_code) {
    case 3: return (240 * b / r50) * 4;
    case 2: return 2880 * b / r50;
    default:
        if (head->id == 1 || head->sync == 2) return 2880 * b / r50;
        return 1440 * b / r50;
    }
}

int32_t mpaFreeFormatSize(const uint8_t* p, int32_t window)
{
    if (window < 4) return 0;
    const int32_t u = (p[1] & 6) == 6 ? 4 : 1;
    const int32_t pad0 = (p[2] >> 1) & 1;
    const int32_t e = window - 3;
    for (int32_t k = 24; k < e; ++k) {
        if (p[k] != p[0] || p[k + 1] != p[1]) continue;
        const int32_t s = k - pad0 * u;
        if (s < 1) return 0;
        int32_t q = s + pad0 * u;
        bool holds = false;
        if (q <= e) {
            holds = true;
            int32_t matches = 0;
            while (q <= e) {
                if (p[q] != p[0] || p[q + 1] != p[1]) {
                    holds = false;
                    break;
                }
                ++matches;
                q += s + ((p[q + 2] >> 1) & 1) * u;
            }
            holds = holds && matches > 0;
        }
        if (holds) return s;
        if (k >= 1999) return 0;
    }
    return 0;
}

int32_t mpaParseHead(const uint8_t* p, int32_t n, mpaHead* head, int32_t* bitrate)
{
    *bitrate = 0;
    const int32_t len = mpaParseHeadBytes(p, n, head);
    if (len == 0) return 0;
    if (head->bitrate_index != 0) {
        *bitrate = mpaTableBitrate(head->layer_code, head->id, head->bitrate_index) * 1000;
        return len;
    }
    const int64_t r = mpa_rates[head->id][head->sampling_index];
    int64_t div = 144;
    if (head->layer_code == 3) {
        div = 48;
    } else if (head->layer_code == 1 && head->id == 0 && head->sync == 1) {
        div = 72;
    }
    *bitrate = static_cast<int32_t>(r * len / div);
    return len;
}

int32_t mpaFindHead(const uint8_t* buf, int32_t n, mpaHead* head, int32_t* bitrate, int32_t* sync_offset)
{
    for (int32_t k = 0; k + 1 < n; ++k) {
        if (buf[k] != 0xFF) continue;
        const uint8_t hi = buf[k + 1] & 0xF0;
        if (hi != 0xF0 && hi != 0xE0) continue;
        *sync_offset = k;
        return mpaParseHead(buf + k, n - k, head, bitrate);
    }
    return 0;
}
