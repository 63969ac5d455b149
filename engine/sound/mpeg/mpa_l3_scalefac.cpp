// Layer III scale factors: the MPEG-1 form with scale-factor selection
// between granules (ISO/IEC 11172-3 2.4.2.7, 2.4.3.4.2) and the MPEG-2 form
// with its band groups (ISO/IEC 13818-3 2.4.3.2).
#include "engine/sound/mpeg/mpa_l3.h"

#include <cstring>

void mpaL3ScaleFac1(mpaDec* dec, mpaL3Sf* sf, const mpaL3Side* side, int32_t scfsi, int32_t granule)
{
    mpaL3& s = dec->l3;
    const int32_t slen1 = mpa_l3_slen[0][side->scalefac_compress & 15];
    const int32_t slen2 = mpa_l3_slen[1][side->scalefac_compress & 15];
    if (side->block_type == 2) {
        int32_t first = 0;
        if (side->mixed_block_flag) {
            for (int32_t b = 0; b < 8; ++b) sf->long_sf[b] = static_cast<int32_t>(mpaL3GetBits(s, slen1));
            first = 3;
        }
        for (int32_t b = first; b < 12; ++b) {
            const int32_t bits = b < 6 ? slen1 : slen2;
            for (int32_t w = 0; w < 3; ++w) sf->short_sf[w][b] = static_cast<int32_t>(mpaL3GetBits(s, bits));
        }
        for (int32_t w = 0; w < 3; ++w) sf->short_sf[w][12] = 0;
        return;
    }
    static constexpr int32_t group_start[5] = {0, 6, 11, 16, 21};
    // The state holds scalefactors[granule][channel]; granule 1 of a
    // channel takes reused groups from granule 0 of the same channel.
    const mpaL3Sf* first_granule = sf - (granule ? 2 : 0);
    for (int32_t k = 0; k < 4; ++k) {
        const int32_t bits = k < 2 ? slen1 : slen2;
        const bool reuse = granule == 1 && (scfsi & (8 >> k));
        for (int32_t b = group_start[k]; b < group_start[k + 1]; ++b) {
            sf->long_sf[b] = reuse ? first_granule->long_sf[b] : static_cast<int32_t>(mpaL3GetBits(s, bits));
        }
    }
    sf->long_sf[21] = sf->long_sf[22] = 0;
}

void mpaL3ScaleFac2(mpaDec* dec, mpaL3Sf* sf, mpaL3Side* side, int32_t intensity_flag, mpaL3IsLayout* layout)
{
    mpaL3& s = dec->l3;
    const int32_t sc = side->scalefac_compress;
    const bool mixed = side->block_type == 2 && side->mixed_block_flag;
    int32_t slen[4] = {0, 0, 0, 0};
    int32_t group;
    side->preflag = 0;
    if (intensity_flag) {
        layout->intensity_scale = sc & 1;
        const int32_t h = sc >> 1;
        if (h < 180) {
            slen[0] = h / 36, slen[1] = h % 36 / 6, slen[2] = h % 6;
            group = 3;
        } else if (h < 244) {
            const int32_t t = h - 180;
            slen[0] = t >> 4, slen[1] = (t >> 2) & 3, slen[2] = t & 3;
            group = 4;
        } else {
            const int32_t t = h - 244;
            slen[0] = t / 3, slen[1] = t % 3;
            group = 5;
        }
    } else if (sc < 400) {
        slen[0] = (sc >> 4) / 5, slen[1] = (sc >> 4) % 5, slen[2] = (sc & 15) >> 2, slen[3] = sc & 3;
        group = 0;
    } else if (sc < 500) {
        const int32_t t = sc - 400;
        slen[0] = (t >> 2) / 5, slen[1] = (t >> 2) % 5, slen[2] = t & 3;
        group = 1;
    } else {
        const int32_t t = sc - 500;
        if (mixed) {
            slen[0] = t / 3, slen[1] = t / 3, slen[2] = t % 3;
        } else {
            slen[0] = t / 3, slen[1] = t % 3;
        }
        group = 2;
        side->preflag = 1;
    }
    const int32_t kind = side->block_type != 2 ? 0 : mixed ? 2 : 1;
    const int32_t* counts = mpa_l3_sfb_counts[group][kind];
    if (intensity_flag) {
        for (int32_t k = 0; k < 3; ++k) {
            layout->bands[k] = counts[k];
            layout->slen[k] = slen[k];
        }
    }
    std::memset(sf, 0, sizeof(*sf));
    if (kind == 0) {
        int32_t b = 0;
        for (int32_t k = 0; k < 4; ++k) {
            for (int32_t i = 0; i < counts[k] && b < 21; ++i) sf->long_sf[b++] = static_cast<int32_t>(mpaL3GetBits(s, slen[k]));
        }
        return;
    }
    int32_t b = 0;
    int32_t k = 0;
    if (kind == 2) {
        for (int32_t i = 0; i < counts[0]; ++i) sf->long_sf[i] = static_cast<int32_t>(mpaL3GetBits(s, slen[0]));
        b = 3;
        k = 1;
    }
    for (; k < 4; ++k) {
        for (int32_t i = 0; i < counts[k] && b < 12; ++i, ++b) {
            for (int32_t w = 0; w < 3; ++w) sf->short_sf[w][b] = static_cast<int32_t>(mpaL3GetBits(s, slen[k]));
        }
    }
}
