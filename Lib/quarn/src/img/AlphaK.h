// The constant-alpha family: a source rectangle blended over the target with
// one weight K in 256ths for every pixel, by a rule chosen per format pair.
#pragma once

#include "img/Dispatch.h"
#include "img/Op.h"

#include <cstdint>

namespace quarn::g {

class BOpAlphaK : public BOp {
public:
    explicit BOpAlphaK(uint32_t k) : k(k) { }
    void run(FormatSlot slot) override;

    // 0 keeps the target, 256 gives the source's colour; more counts as 256.
    uint32_t k;
};

// How a (target, source) pair blends. Each rule mixes the colour channels
// and keeps the target's alpha or x bits, except where K = 255 copies.
enum class AlphaKRule : uint8_t {
    nothing,
    not_implemented,
    convert, // the source converted into the target's format, then mixed;
             // K = 255 assigns it (alpha and all)
    same, // channels mixed straight from the source; K = 255 copies its
          // word, or its three colour bytes into Rgb888
    opaque, // as same, but K = 255 stores the word with full alpha
    always, // mixed straight from the source for every K
    difference, // t + floor((s - t) K / 256) per channel, for every K
};

[[nodiscard]] AlphaKRule alpha_k_rule(FormatSlot target, FormatSlot source);

const BinaryTable& alpha_k_table();

} // namespace quarn::g
