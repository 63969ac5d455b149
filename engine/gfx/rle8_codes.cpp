// RLE8 row codes: encoding, decoding, left clipping and the opaque box.
#include "engine/gfx/gfx_internal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t code_count(uint8_t c) { return c < 0x80 ? c : c & 63u; }

void emit_skips(std::vector<uint8_t>& out, int32_t count)
{
    for (; count > 127; count -= 127)
        out.push_back(127);
    if (count > 0)
        out.push_back(static_cast<uint8_t>(count));
}

void emit_literal(std::vector<uint8_t>& out, const uint8_t* pels, int32_t count)
{
    for (; count > 63; count -= 63, pels += 63) {
        out.push_back(0xBF);
        out.insert(out.end(), pels, pels + 63);
    }
    if (count > 0) {
        out.push_back(static_cast<uint8_t>(0x80 | count));
        out.insert(out.end(), pels, pels + count);
    }
}

void emit_fill(std::vector<uint8_t>& out, uint8_t value, int32_t count)
{
    for (; count > 63; count -= 63) {
        out.push_back(0xFF);
        out.push_back(value);
    }
    if (count > 0) {
        out.push_back(static_cast<uint8_t>(0xC0 | count));
        out.push_back(value);
    }
}

} // namespace

size_t rle8AppendRow(std::vector<uint8_t>& out, const uint8_t* pels, int32_t n, uint32_t key)
{
    if (n <= 0 || std::all_of(pels, pels + n, [key](uint8_t p) { return p == key; }))
        return 0;
    const size_t before = out.size();
    int32_t i = 0;
    while (i < n) {
        int32_t run = 0;
        while (i + run < n && pels[i + run] == key)
            ++run;
        emit_skips(out, run);
        i += run;
        // A literal up to a key pel or three equal pels, which start a fill
        // with the literal's last pel.
        const int32_t start = i;
        bool fill = false;
        while (i < n && pels[i] != key) {
            if (i > start && pels[i] == pels[i - 1] && i + 1 < n && pels[i + 1] == pels[i]) {
                --i;
                fill = true;
                break;
            }
            ++i;
        }
        emit_literal(out, pels + start, i - start);
        if (fill) {
            const uint8_t value = pels[i];
            int32_t count = 0;
            while (i + count < n && pels[i + count] == value)
                ++count;
            emit_fill(out, value, count);
            i += count;
        }
    }
    return out.size() - before;
}

uint8_t* rle8EncodeRow(const uint8_t* pels, int32_t n, uint32_t key, uint32_t* outSize)
{
    *outSize = 0;
    std::vector<uint8_t> out;
    if (rle8AppendRow(out, pels, n, key) == 0)
        return nullptr;
    auto* block = static_cast<uint8_t*>(memAlloc(out.size()));
    if (!block)
        return nullptr;
    std::memcpy(block, out.data(), out.size());
    *outSize = static_cast<uint32_t>(out.size());
    return block;
}

const uint8_t* rle8SkipPixels(const uint8_t* pos, int32_t n, uint8_t* code)
{
    while (n > 0) {
        const uint8_t c = *code;
        const int32_t count = static_cast<int32_t>(code_count(c));
        if (n < count) {
            const int32_t rest = count - n;
            if (c < 0x80) {
                *code = static_cast<uint8_t>(rest);
            } else if (c < 0xC0) {
                pos += n;
                *code = static_cast<uint8_t>(0x80 | rest);
            } else {
                *code = static_cast<uint8_t>(0xC0 | rest);
            }
            return pos;
        }
        n -= count;
        if (c >= 0xC0)
            pos += 1;
        else if (c >= 0x80)
            pos += count;
        *code = *pos++;
    }
    return pos;
}

void rle8DecodeRow(const uint8_t* codes, int32_t x0, int32_t w, uint8_t* rowBase)
{
    if (w <= 0)
        return;
    uint8_t c = *codes;
    const uint8_t* p = codes + 1;
    if (x0 > 0)
        p = rle8SkipPixels(p, x0, &c);
    const int32_t end = x0 + w;
    int32_t col = x0;
    for (;;) {
        const int32_t count = static_cast<int32_t>(code_count(c));
        const int32_t take = std::min(count, end - col);
        if (c >= 0xC0)
            std::memset(rowBase + col, *p, static_cast<size_t>(take));
        else if (c >= 0x80)
            std::memcpy(rowBase + col, p, static_cast<size_t>(take));
        col += take;
        // The next code is read only when pels are still wanted: the codes
        // need not go on past the pels asked for.
        if (col >= end)
            return;
        if (c >= 0xC0)
            p += 1;
        else if (c >= 0x80)
            p += count;
        c = *p++;
    }
}

bool rle8RowCovers(const uint8_t* codes, size_t size, int32_t w)
{
    size_t pos = 0;
    int64_t covered = 0;
    while (covered < w) {
        if (pos >= size)
            return false;
        const uint8_t c = codes[pos++];
        const uint32_t count = code_count(c);
        const size_t bytes = c < 0x80 ? 0 : c < 0xC0 ? count : 1;
        if (bytes > size - pos)
            return false;
        pos += bytes;
        covered += count;
    }
    return true;
}

uint32_t rle8RowLength(const imgRle8CTy* image, int32_t r)
{
    if (image->box.h == 0 || image->box.w < 1 || r < 0 || r >= image->rowCount || !image->rows
        || !image->rows[r])
        return 0;
    const uint8_t* codes = image->rows[r];
    uint32_t pos = 0;
    int64_t covered = 0;
    while (covered < image->box.w) {
        const uint8_t c = codes[pos++];
        const uint32_t count = code_count(c);
        pos += c < 0x80 ? 0 : c < 0xC0 ? count : 1;
        covered += count;
    }
    return pos;
}

rectTy rle8FindOpaqueBox(const uint8_t* pels, int32_t pitch, int32_t w, int32_t h, uint8_t key)
{
    int32_t left = w, right = -1, top = h, bottom = -1;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = pels + static_cast<ptrdiff_t>(y) * pitch;
        int32_t first = 0;
        while (first < w && row[first] == key)
            ++first;
        if (first == w)
            continue;
        int32_t last = w - 1;
        while (row[last] == key)
            --last;
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y;
    }
    if (right < 0)
        return { 0, 0, 0, 0 };
    return { left, top, right - left + 1, bottom - top + 1 };
}
