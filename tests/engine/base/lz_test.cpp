#include "base_test_support.h"

#include <random>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes pack(const Bytes& in)
{
    Bytes out(in.size() * 2 + 16);
    const int64_t n = lzPack(in.data(), in.size(), out.data(), out.size());
    EXPECT_GE(n, 0);
    out.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return out;
}

Bytes unpack(const Bytes& packed, size_t capacity)
{
    Bytes out(capacity);
    const int64_t n = lzUnpack(packed.data(), packed.size(), out.data(), out.size());
    EXPECT_GE(n, 0);
    out.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return out;
}

// The items of a packer-0 stream, read by a deliberately naive decoder that
// shares nothing with the library's, so that tests can say which item the
// packer chose.
struct Item {
    char kind; // 'L' literal, 'S' short match, 'M' long match, 'N' empty item
    size_t length;
    size_t distance;
    size_t at; // output position
};

std::vector<Item> items_of(const Bytes& s)
{
    std::vector<Item> items;
    size_t pos = 0, out = 0;
    unsigned word = 0;
    int left = 0;
    auto next_word = [&] {
        word = s.at(pos) | (s.at(pos + 1) << 8);
        pos += 2;
        left = 16;
    };
    auto flag = [&] {
        const unsigned b = word & 1;
        word >>= 1;
        if (--left == 0)
            next_word();
        return b;
    };
    next_word();
    for (;;) {
        if (flag()) {
            items.push_back({ 'L', 1, 0, out });
            ++pos;
            ++out;
        } else if (!flag()) {
            const unsigned a = flag(), b = flag();
            const size_t length = 2 * a + b + 2;
            items.push_back({ 'S', length, 256u - s.at(pos++), out });
            out += length;
        } else {
            const unsigned w = s.at(pos) | (s.at(pos + 1) << 8);
            pos += 2;
            const size_t distance = 8192 - (((w >> 11) << 8) + (w & 0xFF));
            size_t length = ((w >> 8) & 7) + 2;
            if (length == 2) {
                const unsigned e = s.at(pos++);
                if (e == 0)
                    break;
                if (e == 1) {
                    items.push_back({ 'N', 0, 0, out });
                    continue;
                }
                length = e + 1;
            }
            items.push_back({ 'M', length, distance, out });
            out += length;
        }
    }
    EXPECT_EQ(pos, s.size()) << "bytes after the end item";
    return items;
}

const Item* item_at(const std::vector<Item>& items, size_t out)
{
    for (const auto& it : items)
        if (it.at == out && it.kind != 'N')
            return &it;
    return nullptr;
}

TEST(LzFormat, HandMadeStreamsAreExact)
{
    struct Case {
        std::string input;
        Bytes stream;
    };
    const Case cases[] = {
        { "", { 0x02, 0x00, 0x00, 0xF0, 0x00 } },
        { "A", { 0x05, 0x00, 'A', 0x00, 0xF0, 0x00 } },
        // Short match: length 2 at distance 2.
        { "ABAB", { 0x83, 0x00, 'A', 'B', 0xFE, 0x00, 0xF0, 0x00 } },
        // Long match with its length in the word: 7 bytes at distance 7.
        { "ABCDEFGABCDEFG", { 0x7F, 0x05, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 0xF9, 0xFD, 0x00, 0xF0, 0x00 } },
        // Long match with the length byte: 11 bytes at distance 1.
        { "xxxxxxxxxxxx", { 0x15, 0x00, 'x', 0xFF, 0xF8, 0x0A, 0x00, 0xF0, 0x00 } },
        // The sixteenth flag sends its word out before the byte of its item.
        { "abcdefghijklmnopq",
            { 0xFF, 0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 0x05, 0x00, 'p',
                'q', 0x00, 0xF0, 0x00 } },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pack(bytes_of(c.input)), c.stream) << c.input;
        EXPECT_EQ(unpack(c.stream, c.input.size()), bytes_of(c.input)) << c.input;
    }
}

TEST(LzFormat, DecodesItemsThePackerNeverWrites)
{
    // 'a'; an empty item (length field 0, e = 1); a short match of 5 at
    // distance 1; the end. Flags 1 | 0 1 | 0 0 1 1 | 0 1 = word 0x0165.
    const Bytes with_empty = { 0x65, 0x01, 'a', 0xFF, 0xF8, 0x01, 0xFF, 0x00, 0xF0, 0x00 };
    EXPECT_EQ(unpack(with_empty, 16), bytes_of("aaaaaa"));

    // A long match of 256 bytes (e = 255); the packer stops at 253.
    const Bytes longest = { 0x15, 0x00, 'a', 0xFF, 0xF8, 0xFF, 0x00, 0xF0, 0x00 };
    EXPECT_EQ(unpack(longest, 300), Bytes(257, 'a'));
}

TEST(LzRoundTrip, RandomConstantAndPeriodicData)
{
    std::mt19937 rng(7);
    for (size_t size : { 0u, 1u, 2u, 253u, 254u, 8192u, 8193u, 100000u }) {
        Bytes random(size), constant(size, 0x5A), periodic(size), text(size);
        for (auto& b : random)
            b = static_cast<uint8_t>(rng());
        for (size_t i = 0; i < size; ++i) {
            periodic[i] = static_cast<uint8_t>("periodic!"[i % 9]);
            text[i] = static_cast<uint8_t>("the quick brown fox jumps over the lazy dog "[(i * 7 + i / 13) % 44]);
        }
        for (const Bytes* data : { &random, &constant, &periodic, &text }) {
            const Bytes packed = pack(*data);
            EXPECT_EQ(unpack(packed, size), *data) << size;
        }
    }
}

TEST(LzPacker, RunOfOneByteIsALiteralThenLongMatchesAtDistanceOne)
{
    const Bytes data(1000, 'r');
    const Bytes packed = pack(data);
    const auto items = items_of(packed);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].kind, 'L');
    size_t total = 1;
    for (size_t i = 1; i < items.size(); ++i) {
        EXPECT_EQ(items[i].kind, 'M');
        EXPECT_EQ(items[i].distance, 1u);
        EXPECT_LE(items[i].length, 253u);
        total += items[i].length;
    }
    EXPECT_EQ(items[1].length, 253u);
    EXPECT_EQ(total, 1000u);
    EXPECT_EQ(packed.size(), 18u);
    EXPECT_EQ(unpack(packed, 1000), data);
}

// Filler whose two-byte pairs never hit the marker pair "\xFE\xFD".
Bytes filler(size_t n, unsigned seed)
{
    Bytes f(n);
    for (size_t i = 0; i < n; ++i)
        f[i] = static_cast<uint8_t>((i * 7 + seed) % 250);
    return f;
}

// "<marker of length k> filler <marker>": the second marker at `distance`.
Bytes repeat_at(size_t distance, size_t k)
{
    Bytes marker;
    for (size_t i = 0; i < k; ++i)
        marker.push_back(static_cast<uint8_t>(0xFE - (i % 2)));
    Bytes data = marker;
    const Bytes f = filler(distance - k, 3);
    data.insert(data.end(), f.begin(), f.end());
    data.insert(data.end(), marker.begin(), marker.end());
    data.push_back(0xFB);
    return data;
}

TEST(LzPacker, ChoosesItemsByLengthAndDistance)
{
    struct Case {
        size_t distance, length;
        char kind;
    };
    const Case cases[] = {
        { 200, 2, 'S' },
        { 300, 2, 'L' },
        { 255, 2, 'S' },
        { 256, 2, 'L' },
        { 255, 5, 'S' },
        { 256, 3, 'M' },
        { 255, 6, 'M' },
        { 100, 9, 'M' },
        { 100, 10, 'M' },
        { 1000, 253, 'M' },
        { 7000, 4, 'M' },
    };
    for (const auto& c : cases) {
        const Bytes data = repeat_at(c.distance, c.length);
        const Bytes packed = pack(data);
        const auto items = items_of(packed);
        const Item* it = item_at(items, c.distance);
        ASSERT_NE(it, nullptr) << c.distance << "/" << c.length;
        EXPECT_EQ(it->kind, c.kind) << c.distance << "/" << c.length;
        if (c.kind != 'L') {
            EXPECT_EQ(it->length, c.length) << c.distance;
            EXPECT_EQ(it->distance, c.distance) << c.distance;
        }
        EXPECT_EQ(unpack(packed, data.size()), data);
    }
}

TEST(LzPacker, EqualLengthsPreferTheNearestMatch)
{
    // "abc" at 0 and at 10, then "abc" again at 20: distance 10, not 20.
    const Bytes f1 = filler(7, 1), f2 = filler(7, 100);
    const std::string data
        = "abc" + std::string(f1.begin(), f1.end()) + "abc" + std::string(f2.begin(), f2.end()) + "abcZ";
    const auto items = items_of(pack(bytes_of(data)));
    const Item* it = item_at(items, 20);
    ASSERT_NE(it, nullptr);
    EXPECT_EQ(it->length, 3u);
    EXPECT_EQ(it->distance, 10u);
}

TEST_F(BaseTest, LzPackStopsAtTheEndOfTheDestination)
{
    errInit();
    std::mt19937 rng(3);
    Bytes data(5000);
    for (auto& b : data)
        b = static_cast<uint8_t>(rng());
    for (size_t capacity : { 0u, 1u, 5u, 100u, 4000u }) {
        Bytes out(capacity + 8, 0xCC);
        EXPECT_EQ(lzPack(data.data(), data.size(), out.data(), capacity), ERR_OVERFLOW);
        for (size_t i = capacity; i < out.size(); ++i)
            ASSERT_EQ(out[i], 0xCC) << capacity;
    }
    // "Array overflow" is reported.
    EXPECT_FALSE(boxes().empty());
}

TEST(LzUnpack, RejectsStreamsThatLeaveTheirBounds)
{
    const Bytes good = pack(bytes_of("abcabcabcabcabcXYZ"));
    Bytes out(64);
    ASSERT_EQ(lzUnpack(good.data(), good.size(), out.data(), out.size()), 18);

    // Every cut-short stream fails instead of reading past its end.
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_EQ(lzUnpack(cut.data(), cut.size(), out.data(), out.size()), ERR_DATA) << n;
    }
    // Output that does not fit.
    EXPECT_EQ(lzUnpack(good.data(), good.size(), out.data(), 17), ERR_DATA);
    EXPECT_EQ(lzUnpack(good.data(), good.size(), nullptr, 0), ERR_DATA);
    // A match reaching before the output's start: 'a', then a short match
    // at distance 2.
    const Bytes before = { 0b10'0000'1, 0, 'a', 0xFE, 0x00, 0xF0, 0x00 };
    EXPECT_EQ(lzUnpack(before.data(), before.size(), out.data(), out.size()), ERR_DATA);
    // A long match at distance 8192 with nothing produced.
    const Bytes far = { 0b1010, 0, 0x00, 0x02, 0x00, 0xF0, 0x00 };
    EXPECT_EQ(lzUnpack(far.data(), far.size(), out.data(), out.size()), ERR_DATA);
    EXPECT_EQ(lzUnpack(nullptr, 0, out.data(), out.size()), ERR_DATA);
}

} // namespace
