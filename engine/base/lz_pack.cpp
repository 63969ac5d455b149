// The packer of the layer's own LZ format (packer 0): greedy longest match
// in an 8 KB window found through hash chains.
#include "engine/base/lz_format.h"
#include "engine/base/mem.h"

#include <cstring>

namespace {

using namespace lz;

constexpr uint16_t none = 0xFFFF;

// How many candidates that do not beat the best match so far are compared
// before the walk stops. Walking whole chains (up to the 8 KB window)
// packed text at a third of zlib level 1's speed; this limit more than
// doubles the speed for a few per cent of size (bench/base_files).
// Candidates that keep improving (a periodic run met again after a gap)
// are all walked. Among equal lengths the nearest still wins. The format
// does not depend on this: any choice of matches unpacks the same.
constexpr int max_misses = 16;

struct PackState {
    const uint8_t* src;
    size_t src_len;
    size_t src_pos;
    uint8_t* dst;
    size_t capacity;
    size_t dst_pos;
    bool overflow;

    // The pending block: the flag word being filled and the data bytes of
    // the items whose last flag went into it (at most 16 items of 3 bytes).
    uint16_t mask;
    uint16_t word;
    int pending_count;
    uint8_t pending[64];

    int match_length;
    int match_position;

    // The window, followed by a copy of its first bytes, so that a compare
    // of up to `longest - 1` bytes never has to wrap.
    uint8_t window[window_size + mirror_size];
    uint16_t head[hash_size];
    uint16_t last_pair[65536]; // nearest linked position of each two-byte pair
    uint16_t next[window_size];
    uint16_t prev[window_size]; // none for the head of a chain
    uint16_t chain_of[window_size]; // the chain a position is linked in; none = not linked
};

// Chains group positions by their first three bytes: matches of three
// bytes or more are all in the chain of their hash. Two-byte matches are
// found through `last_pair` instead, whose entry is the nearest one.
inline unsigned hash_at(const PackState& st, int pos)
{
    const uint32_t three = st.window[pos] | (st.window[pos + 1] << 8) | (st.window[pos + 2] << 16);
    return (three * 2654435761u) >> (32 - hash_bits);
}

inline unsigned pair_at(const PackState& st, int pos) { return st.window[pos] | (st.window[pos + 1] << 8); }

inline void link(PackState& st, int pos)
{
    const unsigned h = hash_at(st, pos);
    const uint16_t first = st.head[h];
    st.chain_of[pos] = static_cast<uint16_t>(h);
    st.prev[pos] = none;
    st.next[pos] = first;
    if (first != none)
        st.prev[first] = static_cast<uint16_t>(pos);
    st.head[h] = static_cast<uint16_t>(pos);
    st.last_pair[pair_at(st, pos)] = static_cast<uint16_t>(pos);
}

inline void unlink(PackState& st, int pos)
{
    const uint16_t h = st.chain_of[pos];
    if (h == none)
        return;
    const uint16_t n = st.next[pos];
    const uint16_t p = st.prev[pos];
    if (p == none)
        st.head[h] = n;
    else
        st.next[p] = n;
    if (n != none)
        st.prev[n] = p;
    st.chain_of[pos] = none;
}

// Count of equal leading bytes of a and b, at most `limit`.
inline int equal_prefix(const uint8_t* a, const uint8_t* b, int limit)
{
    int n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return n + (__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

// The longest earlier match for position r; among equal lengths the most
// recently linked (nearest) wins. Then r joins its chain.
void search(PackState& st, int r)
{
    st.match_length = 0;
    st.match_position = 0;
    const uint8_t* here = st.window + r + 1;
    int misses = max_misses;
    for (uint16_t c = st.head[hash_at(st, r)]; c != none; c = st.next[c]) {
        // Only a strictly longer match counts, so a candidate that differs
        // at the byte just past the best length so far cannot win; most
        // candidates go out on this one compare.
        const int best = st.match_length;
        if (st.window[c + best] != st.window[r + best] || st.window[c] != st.window[r]) {
            if (--misses == 0)
                break;
            continue;
        }
        const int equal = equal_prefix(st.window + c + 1, here, longest - 1);
        if (equal + 1 > st.match_length) {
            st.match_length = equal + 1;
            st.match_position = c;
            if (equal == longest - 1)
                break;
        } else if (--misses == 0) {
            break;
        }
    }
    if (st.match_length < 3) {
        // The entry may be stale (its slot refilled since); it counts only
        // when it lies in the history and still holds the pair.
        const uint16_t c = st.last_pair[pair_at(st, r)];
        const int distance = (r - c) & (window_size - 1);
        if (c != none && distance >= 1 && distance < window_size - longest && st.window[c] == st.window[r]
            && st.window[c + 1] == st.window[r + 1]) {
            const int equal = equal_prefix(st.window + c + 1, here, longest - 1);
            if (equal + 1 > st.match_length) {
                st.match_length = equal + 1;
                st.match_position = c;
            }
        }
    }
    link(st, r);
}

void flush_block(PackState& st)
{
    const size_t size = 2 + static_cast<size_t>(st.pending_count);
    if (st.overflow || size > st.capacity - st.dst_pos) {
        st.overflow = true;
    } else {
        st.dst[st.dst_pos] = static_cast<uint8_t>(st.word);
        st.dst[st.dst_pos + 1] = static_cast<uint8_t>(st.word >> 8);
        std::memcpy(st.dst + st.dst_pos + 2, st.pending, static_cast<size_t>(st.pending_count));
        st.dst_pos += size;
    }
    st.mask = 1;
    st.word = 0;
    st.pending_count = 0;
}

// A flag that completes its word sends the block out at once, so the
// bytes of the item being written land behind the next flag word.
inline void put_flag(PackState& st, bool bit)
{
    if (bit)
        st.word |= st.mask;
    st.mask = static_cast<uint16_t>(st.mask << 1);
    if (st.mask == 0)
        flush_block(st);
}

inline void put_byte(PackState& st, unsigned byte) { st.pending[st.pending_count++] = static_cast<uint8_t>(byte); }

void put_item(PackState& st, int length, int distance, int r)
{
    if (length < 2 || (length == 2 && distance >= 256)) {
        put_flag(st, true);
        put_byte(st, st.window[r]);
    } else if (length <= 5 && distance < 256) {
        put_flag(st, false);
        put_flag(st, false);
        put_flag(st, ((length - 2) >> 1) & 1);
        put_flag(st, (length - 2) & 1);
        put_byte(st, 256 - distance);
    } else {
        put_flag(st, false);
        put_flag(st, true);
        const unsigned negated = static_cast<unsigned>(-distance);
        const unsigned high = ((negated >> 8) & 0x1F) << 3;
        put_byte(st, negated & 0xFF);
        if (length <= 9) {
            put_byte(st, high | static_cast<unsigned>(length - 2));
        } else {
            put_byte(st, high);
            put_byte(st, static_cast<unsigned>(length - 1));
        }
    }
}

} // namespace

int64_t lzPack(const void* source, size_t length, void* destination, size_t capacity)
{
    auto* st = static_cast<PackState*>(memHooks.alloc(sizeof(PackState)));
    if (!st) {
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
        return ERR_NO_MEMORY;
    }
    st->src = static_cast<const uint8_t*>(source);
    st->src_len = source ? length : 0;
    st->src_pos = 0;
    st->dst = static_cast<uint8_t*>(destination);
    st->capacity = destination ? capacity : 0;
    st->dst_pos = 0;
    st->overflow = false;
    st->mask = 1;
    st->word = 0;
    st->pending_count = 0;
    std::memset(st->window, 0, sizeof(st->window));
    std::memset(st->head, 0xFF, sizeof(st->head));
    std::memset(st->last_pair, 0xFF, sizeof(st->last_pair));
    std::memset(st->chain_of, 0xFF, sizeof(st->chain_of));

    int r = window_size - longest;
    int s = 0;
    int lookahead = 0;
    while (lookahead < longest && st->src_pos < st->src_len)
        st->window[r + lookahead++] = st->src[st->src_pos++];
    search(*st, r);

    while (lookahead > 0 && !st->overflow) {
        int match = st->match_length < lookahead ? st->match_length : lookahead;
        const int distance = (r - st->match_position) & (window_size - 1);
        put_item(*st, match, distance, r);
        if (match < 2 || (match == 2 && distance >= 256))
            match = 1;
        for (int i = 0; i < match; ++i) {
            unlink(*st, s);
            if (st->src_pos < st->src_len) {
                const uint8_t c = st->src[st->src_pos++];
                st->window[s] = c;
                if (s < mirror_size)
                    st->window[window_size + s] = c;
            } else {
                --lookahead;
            }
            s = (s + 1) & (window_size - 1);
            r = (r + 1) & (window_size - 1);
            if (i + 1 < match)
                link(*st, r);
        }
        if (lookahead > 0)
            search(*st, r);
    }

    // The end item: a long match with length field 0 and the byte 0.
    put_flag(*st, false);
    put_flag(*st, true);
    put_byte(*st, 0x00);
    put_byte(*st, 0xF0);
    put_byte(*st, 0x00);
    flush_block(*st);

    const bool overflow = st->overflow;
    const size_t written = st->dst_pos;
    memHooks.free(st);
    if (overflow) {
        dbgBreakOnRetry(errReport(ERR_OVERFLOW));
        return ERR_OVERFLOW;
    }
    return static_cast<int64_t>(written);
}
