// The layer's random numbers: fixed seeds, so every run draws the same
// sequence (the game's "random" choices rely on that).
#include "engine/base/base_internal.h"
#include "engine/base/rnd.h"

namespace {

struct Lcg {
    uint64_t x;
    uint64_t a;
    uint64_t m;
    uint32_t next()
    {
        x = (x * a) % m;
        return static_cast<uint32_t>(x);
    }
};

constexpr Lcg lcg1_start{11, 40014, 2147483563};
constexpr Lcg lcg2_start{21, 40692, 2147483399};
Lcg lcg1 = lcg1_start;
Lcg lcg2 = lcg2_start;

// Subtract-with-borrow generator over 43 words plus a Weyl sequence.
constexpr int swb_words = 43;
struct Swb {
    uint32_t u[swb_words];
    int a;
    int b;
    uint32_t borrow;
    uint32_t weyl;
};
Swb swb{};

} // namespace

int rndGet(int n)
{
    const uint32_t x1 = lcg1.next();
    const uint32_t x2 = lcg2.next();
    const uint32_t v = ((x1 & 0x3FFF8000u) << 1) | ((x2 >> 14) & 0xFFFFu);
    if (n < 1)
        return 0;
    return static_cast<int>(v % static_cast<uint32_t>(n));
}

void rnd2Seed(uint32_t seed)
{
    const uint32_t s = seed & 0x0FFFFFFFu;
    const uint32_t ij = s % 10000;
    const uint32_t kl = (s / 10000) & 0x3FFF;
    uint32_t a = ij / 100 + 1;
    uint32_t b = ij % 100 + 1;
    uint32_t c = kl % 100 + 1;
    uint32_t l = kl / 100 + 1;
    for (uint32_t& word : swb.u) {
        uint32_t bits = 0;
        for (int bit = 0; bit < 32; ++bit) {
            const uint32_t t = ((a * c) % 179) * b % 179;
            const uint32_t old_a = a;
            a = c;
            b = old_a;
            c = t;
            l = (53 * l + 1) % 169;
            bits = (bits << 1) | ((l * t) % 64 >= 32 ? 1u : 0u);
        }
        word = bits;
    }
    swb.a = 21;
    swb.b = 42;
    swb.borrow = 0;
    swb.weyl = 7654321;
    rnd2Next();
}

uint32_t rnd2Next()
{
    const uint32_t ua = swb.u[swb.a];
    const uint32_t ub = swb.u[swb.b];
    uint32_t x = ua - ub - swb.borrow;
    const uint32_t borrow = (ua < ub || (ua == ub && swb.borrow)) ? 1u : 0u;
    if (borrow)
        x -= 5;
    swb.borrow = borrow;
    swb.u[swb.b] = x;
    swb.a = swb.a == 0 ? swb_words - 1 : swb.a - 1;
    swb.b = swb.b == 0 ? swb_words - 1 : swb.b - 1;
    swb.weyl -= 362436069u;
    return x - swb.weyl;
}

uint32_t rnd2Get(uint32_t n)
{
    const uint32_t v = rnd2Next();
    return n == 0 ? 0 : v % n;
}

void rndResetForTest()
{
    lcg1 = lcg1_start;
    lcg2 = lcg2_start;
    swb = Swb{};
}
