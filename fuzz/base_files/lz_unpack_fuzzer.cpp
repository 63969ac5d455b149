// The packer-0 unpacker over arbitrary streams, into a destination of a
// fuzzed size that is exactly as large as stated (so ASan sees any write
// past it). Input: two bytes of capacity, then the stream. The same bytes
// are also packed and unpacked again, which must give them back.
#include "engine/base/base.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t capacity = data[0] | (data[1] << 8);
    const uint8_t* stream = data + 2;
    const size_t length = size - 2;

    std::vector<uint8_t> out(capacity);
    const int64_t n = lzUnpack(stream, length, out.data(), out.size());
    if (n != ERR_DATA && (n < 0 || static_cast<size_t>(n) > capacity))
        std::abort();

    std::vector<uint8_t> packed(length * 2 + 16);
    const int64_t p = lzPack(stream, length, packed.data(), packed.size());
    if (p < 0)
        std::abort();
    std::vector<uint8_t> back(length);
    if (lzUnpack(packed.data(), static_cast<size_t>(p), back.data(), back.size()) != static_cast<int64_t>(length) ||
        (length && std::memcmp(back.data(), stream, length) != 0))
        std::abort();
    return 0;
}
