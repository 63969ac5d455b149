#include "engine/blit/blit_pel.h"

void pelSub565(void* d, const void* s) {
    const uint32_t dv = pel_detail::Load16(d), sv = pel_detail::Load16(s);
    uint32_t out = 0;
    // Field by field, so that a smaller field never borrows from its neighbour.
    for (uint32_t mask : {0xF800u, 0x07E0u, 0x001Fu}) {
        const uint32_t df = dv & mask, sf = sv & mask;
        if (df > sf) out |= df - sf;
    }
    pel_detail::Store16(d, uint16_t(out));
}

static uint16_t Pack1555(const uint8_t* bgr, bool top) {
    return uint16_t((top ? 0x8000u : 0u) | (uint32_t(bgr[2] >> 3) << 10) | (uint32_t(bgr[1] >> 3) << 5) |
                    uint32_t(bgr[0] >> 3));
}

void pelSet1555(void* pel, const uint8_t* bgr) { pel_detail::Store16(pel, Pack1555(bgr, true)); }
void pelSet1555A(void* pel, const uint8_t* bgra) { pel_detail::Store16(pel, Pack1555(bgra, bgra[3] >= 128)); }
void pelSet1555Alt(void* pel, const uint8_t* bgr) { pelSet1555(pel, bgr); }
