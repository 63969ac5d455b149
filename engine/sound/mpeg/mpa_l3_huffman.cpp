// Layer III Huffman decoding of the big-values pairs and the count1
// quadruples (ISO/IEC 11172-3 2.4.3.4.6 and 2.4.2.7).
//
// Each code table becomes a lookup table on its first bits (3 to 9 by
// table) with linked subtables for the longer codes, so a pair costs one
// lookup for short codes and a short chain for long ones.
#include "engine/sound/mpeg/mpa_l3.h"

#include <algorithm>
#include <cstring>

namespace {

// Terminal entry: len > 0 bits to consume, xy the pair (x high nibble).
// Link entry: len 0, next the subtable's first entry, xy its width.
struct Entry {
    uint16_t next;
    uint8_t xy;
    uint8_t len;
};

constexpr int32_t capacity = 16384;

// A count1 quadruple decoded with its signs: the values, the bits of code
// and signs together, and the 4-bit value (which lines are not 0).
struct Quad {
    int8_t v[4];
    uint8_t bits;
    uint8_t value;
};

// The quadruple of value v whose len-bit code is followed by `rest` (rest_bits
// wide, first bit highest): its sign bits come first there.
Quad make_quad(int32_t v, int32_t len, uint32_t rest, int32_t rest_bits)
{
    Quad q{};
    q.value = static_cast<uint8_t>(v);
    int32_t used = 0;
    for (int32_t b = 0; b < 4; ++b) {
        if (!(v & (8 >> b))) continue;
        const uint32_t sign = (rest >> (rest_bits - 1 - used)) & 1u;
        q.v[b] = static_cast<int8_t>(sign ? -1 : 1);
        ++used;
    }
    q.bits = static_cast<uint8_t>(len + used);
    return q;
}

struct Lookups {
    Entry entries[capacity];
    int32_t used = 0;
    int32_t start[34] = {};
    int32_t width[34] = {};
    // Count1 quadruples with their sign bits, by the next 10 bits (table
    // A: codes of up to 6 bits) or 8 bits (table B: 4-bit codes).
    Quad quad_a[1024] = {};
    Quad quad_b[256] = {};
};

constexpr int32_t first_width(int32_t table)
{
    switch (table) {
    case 1: return 3;
    case 2: case 3: case 7: case 9: case 13: return 6;
    case 6: case 12: return 7;
    case 5: case 8: case 10: case 11: case 15: return 8;
    default: return table >= 16 && table <= 23 ? 8 : 9;
    }
}

// Builds the table of the codes that begin with `prefix` (depth bits) on
// their next `width` bits; returns its first entry.
int32_t build(Lookups& lk, const mpaHuffCode& t, int32_t depth, uint32_t prefix, int32_t width)
{
    const int32_t base = lk.used;
    lk.used += 1 << width;
    int32_t group_rest[512] = {};
    const int32_t n = t.size * t.size;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t len = t.lengths[i];
        if (len <= depth || (uint32_t{t.codes[i]} >> (len - depth)) != prefix) continue;
        const int32_t rest = len - depth;
        const uint8_t xy = static_cast<uint8_t>(((i / t.size) << 4) | (i % t.size));
        if (rest <= width) {
            const uint32_t bits = t.codes[i] & ((1u << rest) - 1);
            const int32_t first = static_cast<int32_t>(bits << (width - rest));
            for (int32_t k = 0; k < (1 << (width - rest)); ++k) {
                lk.entries[base + first + k] = {0, xy, static_cast<uint8_t>(rest)};
            }
        } else {
            const int32_t top = static_cast<int32_t>((t.codes[i] >> (rest - width)) & ((1u << width) - 1));
            group_rest[top] = std::max(group_rest[top], rest - width);
        }
    }
    for (int32_t top = 0; top < (1 << width); ++top) {
        if (group_rest[top] == 0) continue;
        const int32_t sub_width = std::min(group_rest[top], 8);
        const int32_t sub = build(lk, t, depth + width, (prefix << width) | static_cast<uint32_t>(top), sub_width);
        lk.entries[base + top] = {static_cast<uint16_t>(sub), static_cast<uint8_t>(sub_width), 0};
    }
    return base;
}

Lookups make_lookups()
{
    Lookups lk;
    for (int32_t table = 0; table < 34; ++table) {
        const mpaHuffCode& t = mpa_huff_codes[table];
        if (t.size == 0) continue;
        const int32_t base_table = table >= 24 ? 24 : table >= 16 ? 16 : table;
        if (base_table != table) {
            lk.start[table] = lk.start[base_table];
            lk.width[table] = lk.width[base_table];
            continue;
        }
        lk.width[table] = first_width(table);
        lk.start[table] = build(lk, t, 0, 0, lk.width[table]);
    }
    for (int32_t v = 0; v < 16; ++v) {
        const int32_t len = mpa_quad_a_lengths[v];
        const int32_t first = mpa_quad_a_codes[v] << (10 - len);
        for (int32_t k = 0; k < (1 << (10 - len)); ++k) {
            lk.quad_a[first + k] = make_quad(v, len, static_cast<uint32_t>(k), 10 - len);
        }
        for (int32_t k = 0; k < 16; ++k) lk.quad_b[((v ^ 15) << 4) | k] = make_quad(v, 4, static_cast<uint32_t>(k), 4);
    }
    return lk;
}

const Lookups& lookups()
{
    static const Lookups lk = make_lookups();
    return lk;
}

// Reader over the reservoir with a 64-bit cache: one refill before each
// pair or quadruple gives at least 56 bits, more than the longest pair
// (19 code bits, two escapes of 13 and two signs), so the bits themselves
// are taken without checks. Bytes at or past the reservoir's end read as
// zeros. The state's bit_pos is read at the start and written back at the
// end.
struct Reader {
    const uint8_t* buf;
    int32_t limit;    // bytes held
    int32_t next;     // index of the next byte to load
    int32_t bits;     // valid bits at the top of cache
    uint64_t cache;

    explicit Reader(const mpaL3& s) : buf(s.buf), limit(s.bit_limit), next(s.bit_pos >> 3), bits(0), cache(0)
    {
        refill();
        skip(s.bit_pos & 7);
    }

    void refill()
    {
        if (next >= 0 && next + 8 <= limit) {
            uint64_t v;
            std::memcpy(&v, buf + next, 8);
            v = __builtin_bswap64(v);
            // The bytes past the whole ones taken land below the valid
            // bits; the next refill ORs the same bits there again.
            cache |= v >> bits;
            next += (63 - bits) >> 3;
            bits |= 56;
        } else {
            while (bits <= 56) {
                const uint64_t byte = next >= 0 && next < limit ? buf[next] : 0u;
                cache |= byte << (56 - bits);
                ++next;
                bits += 8;
            }
        }
    }

    uint32_t peek(int32_t n) const { return static_cast<uint32_t>(cache >> (64 - n)); }

    void skip(int32_t n)
    {
        cache <<= n;
        bits -= n;
    }

    uint32_t get(int32_t n)
    {
        const uint32_t v = peek(n);
        skip(n);
        return v;
    }

    int32_t position() const { return 8 * next - bits; }
};

// A value's sign bit follows it when it is not 0; taken without a branch,
// as signs are random.
inline int32_t signed_value(Reader& r, int32_t v)
{
    const int32_t present = v != 0;
    const int32_t negative = static_cast<int32_t>(r.cache >> 63) & present;
    r.skip(present);
    return (v ^ -negative) + negative;
}

}  // namespace

int32_t mpaL3LookupEntries()
{
    return lookups().used;
}

void mpaL3Huffman(mpaDec* dec, int32_t* dst, int32_t count, int32_t table)
{
    mpaL3& s = dec->l3;
    const int32_t pairs = count / 2;
    if (table < 0 || table > 33 || mpa_huff_codes[table].size == 0) {
        std::fill(dst, dst + 2 * pairs, 0);
        return;
    }
    if (pairs <= 0) return;
    const Lookups& lk = lookups();
    const Entry* entries = lk.entries;
    const int32_t linbits = mpa_huff_linbits[table];
    const int32_t start = lk.start[table];
    const int32_t start_width = lk.width[table];
    const int32_t guard = s.bit_guard;
    Reader r(s);
    for (int32_t i = 0; i < pairs; ++i) {
        r.refill();
        int32_t width = start_width;
        Entry e = entries[start + r.peek(width)];
        // Every table is a complete code, so each chain ends in a terminal
        // entry within three links; the bound only guards the loop.
        for (int32_t hop = 0; e.len == 0 && hop < 4; ++hop) {
            r.skip(width);
            const int32_t base = e.next;
            width = e.xy;
            e = entries[base + r.peek(width)];
        }
        r.skip(e.len);
        int32_t x = e.xy >> 4;
        int32_t y = e.xy & 15;
        if (linbits && x == 15) x += static_cast<int32_t>(r.get(linbits));
        x = signed_value(r, x);
        if (linbits && y == 15) y += static_cast<int32_t>(r.get(linbits));
        y = signed_value(r, y);
        dst[2 * i] = x;
        dst[2 * i + 1] = y;
        if (r.position() > guard) {
            std::fill(dst + 2 * i + 2, dst + 2 * pairs, 0);
            break;
        }
    }
    s.bit_pos = r.position();
}

int32_t mpaL3HuffQuad(mpaDec* dec, int32_t* dst, int32_t room, int32_t bits_left, int32_t table_b)
{
    mpaL3& s = dec->l3;
    const Lookups& lk = lookups();
    const int32_t quads = room / 4;
    const int32_t guard = s.bit_guard;
    int32_t last = -1;
    int32_t last_value = 0;
    int32_t i = 0;
    Reader r(s);
    for (; i < quads; ++i) {
        if (bits_left < (table_b ? 4 : 1)) break;
        // A quadruple takes at most 10 bits; a refill lasts several.
        if (r.bits < 10) r.refill();
        const Quad& e = table_b ? lk.quad_b[r.peek(8)] : lk.quad_a[r.peek(10)];
        r.skip(e.bits);
        bits_left -= e.bits;
        int32_t* q = dst + 4 * i;
        for (int32_t b = 0; b < 4; ++b) q[b] = e.v[b];
        if (e.value) {
            last = i;
            last_value = e.value;
        }
        if (r.position() > guard) {
            ++i;
            break;
        }
    }
    s.bit_pos = r.position();
    // The quadruple that used up the bits when the loop stopped for lack of
    // them was never meant to be there.
    if (bits_left < 0 && i > 0) std::fill(dst + 4 * (i - 1), dst + 4 * i, 0);
    if (last < 0) return 0;
    return 4 * (last + 1) - ((last_value & 3) == 0 ? 2 : 0);
}
