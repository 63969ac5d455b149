// The unpacker of the layer's own LZ format (packer 0).
//
// The data comes from files, so every read of the source, every write of
// the output and every match distance is checked against what exists.
#include "engine/base/lz_format.h"
#include "engine/base/mem.h"

#include <cstring>

namespace {

class Reader {
public:
    Reader(const uint8_t* src, size_t len)
        : src_(src)
        , len_(len)
    {
    }

    bool start() { return next_word(); }

    // Consuming the sixteenth flag of a word reads the next word at once,
    // before any byte of the item being decoded.
    bool flag(bool& bit)
    {
        bit = word_ & 1u;
        word_ >>= 1;
        if (--bits_ == 0)
            return next_word();
        return true;
    }

    bool byte(unsigned& out)
    {
        if (pos_ >= len_)
            return false;
        out = src_[pos_++];
        return true;
    }

private:
    bool next_word()
    {
        if (len_ - pos_ < 2)
            return false;
        word_ = src_[pos_] | (unsigned { src_[pos_ + 1] } << 8);
        pos_ += 2;
        bits_ = 16;
        return true;
    }

    const uint8_t* src_;
    size_t len_;
    size_t pos_ = 0;
    unsigned word_ = 0;
    int bits_ = 0;
};

} // namespace

int64_t lzUnpack(const void* source, size_t sourceLength, void* destination, size_t capacity)
{
    if (!source)
        return ERR_DATA;
    auto* dst = static_cast<uint8_t*>(destination);
    if (!dst)
        capacity = 0;
    Reader in(static_cast<const uint8_t*>(source), sourceLength);
    if (!in.start())
        return ERR_DATA;
    size_t out = 0;
    for (;;) {
        bool bit;
        if (!in.flag(bit))
            return ERR_DATA;
        if (bit) {
            unsigned literal;
            if (!in.byte(literal) || out >= capacity)
                return ERR_DATA;
            dst[out++] = static_cast<uint8_t>(literal);
            continue;
        }
        size_t length, distance;
        if (!in.flag(bit))
            return ERR_DATA;
        if (!bit) {
            bool a, b;
            unsigned d;
            if (!in.flag(a) || !in.flag(b) || !in.byte(d))
                return ERR_DATA;
            length = 2u * a + b + 2;
            distance = 256 - d;
        } else {
            unsigned w0, w1;
            if (!in.byte(w0) || !in.byte(w1))
                return ERR_DATA;
            const unsigned w = w0 | (w1 << 8);
            distance = 8192 - (((w >> 11) << 8) + (w & 0xFF));
            const unsigned field = (w >> 8) & 7;
            if (field != 0) {
                length = field + 2;
            } else {
                unsigned e;
                if (!in.byte(e))
                    return ERR_DATA;
                if (e == 0)
                    return static_cast<int64_t>(out);
                if (e == 1)
                    continue;
                length = e + 1;
            }
        }
        if (distance > out || length > capacity - out)
            return ERR_DATA;
        uint8_t* to = dst + out;
        const uint8_t* from = to - distance;
        if (distance >= length) {
            std::memcpy(to, from, length);
        } else {
            // Overlapping: each byte may be one this match has just made.
            for (size_t i = 0; i < length; ++i)
                to[i] = from[i];
        }
        out += length;
    }
}
