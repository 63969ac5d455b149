#include "engine/blit/blit_pel.h"

static uint16_t Pack1555(const uint8_t* bgr, bool top) {
    return uint16_t((top ? 0x8000u : 0u) | (uint32_t(bgr[2] >> 3) << 10) | (uint32_t(bgr[1] >> 3) << 5) |
                    uint32_t(bgr[0] >> 3));
}

void pelSet1555(void* pel, const uint8_t* bgr) { pel_detail::Store16(pel, Pack1555(bgr, true)); }
void pelSet1555A(void* pel, const uint8_t* bgra) { pel_detail::Store16(pel, Pack1555(bgra, bgra[3] >= 128)); }
void pelSet1555Alt(void* pel, const uint8_t* bgr) { pelSet1555(pel, bgr); }
