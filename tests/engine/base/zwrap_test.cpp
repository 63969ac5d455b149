#include "base_test_support.h"

#include <cstdlib>
#include <random>
#include <string>
#include <zlib.h>

namespace {

using Bytes = std::vector<uint8_t>;

class ZWrapTest : public BaseTest {
protected:
    void SetUp() override
    {
        BaseTest::SetUp();
        errInit();
        std::mt19937 rng(11);
        for (size_t i = 0; i < 20000; ++i)
            data_.push_back(static_cast<uint8_t>(i % 97 < 50 ? 'a' + i % 13 : rng() % 256));
    }

    Bytes packed(int level = -1) const
    {
        Bytes out(compressBound(static_cast<uLong>(data_.size())));
        size_t n = out.size();
        EXPECT_EQ(zCompress2(out.data(), &n, data_.data(), data_.size(), level), 0);
        out.resize(n);
        return out;
    }

    Bytes data_;
};

TEST_F(ZWrapTest, RoundTripsAtEveryLevelAndMatchesZlib)
{
    for (int level : { -1, 0, 1, 6, 9 }) {
        const Bytes p = packed(level);
        // zlib itself reads what the wrapper wrote.
        Bytes check(data_.size());
        uLongf check_len = static_cast<uLongf>(check.size());
        ASSERT_EQ(uncompress(check.data(), &check_len, p.data(), static_cast<uLong>(p.size())), Z_OK);
        EXPECT_EQ(check, data_);

        Bytes out(data_.size());
        size_t n = out.size();
        ASSERT_EQ(zUncompress(out.data(), &n, p.data(), p.size()), 0) << level;
        EXPECT_EQ(n, data_.size());
        EXPECT_EQ(out, data_);
    }
    Bytes via_rw(data_.size() * 2);
    size_t n = via_rw.size();
    ASSERT_EQ(rwPack(data_.data(), data_.size(), via_rw.data(), &n), 0);
    Bytes back(data_.size());
    size_t m = back.size();
    ASSERT_EQ(rwUnpack(via_rw.data(), n, back.data(), &m), 0);
    EXPECT_EQ(back, data_);
}

TEST_F(ZWrapTest, OutputThatRunsFullIsBufferShort)
{
    const Bytes p = packed();
    Bytes out(data_.size() - 1);
    size_t n = out.size();
    EXPECT_EQ(zUncompress(out.data(), &n, p.data(), p.size()), ERR_BUF_SHORT);
    EXPECT_EQ(n, out.size());

    Bytes small(16);
    size_t m = small.size();
    EXPECT_EQ(zCompress(small.data(), &m, data_.data(), data_.size()), ERR_BUF_SHORT);
    EXPECT_EQ(boxes().size(), 2u);
}

// Every failure is negative: a caller that tests "< 0" must never take a
// failed unpack for success.
TEST_F(ZWrapTest, BadDataIsANegativeDataError)
{
    Bytes p = packed();
    Bytes out(data_.size());

    size_t n = out.size();
    EXPECT_EQ(zUncompress(out.data(), &n, p.data(), p.size() / 2), ERR_DATA) << "truncated";

    Bytes corrupt = p;
    corrupt[0] ^= 0xFF;
    n = out.size();
    EXPECT_EQ(zUncompress(out.data(), &n, corrupt.data(), corrupt.size()), ERR_DATA) << "bad header";

    // A stream that asks for a preset dictionary: zlib's Z_NEED_DICT is
    // positive.
    z_stream zs {};
    ASSERT_EQ(deflateInit(&zs, 6), Z_OK);
    const char dict[] = "dictionary";
    ASSERT_EQ(deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(dict), sizeof(dict)), Z_OK);
    Bytes with_dict(256);
    zs.next_in = data_.data();
    zs.avail_in = 100;
    zs.next_out = with_dict.data();
    zs.avail_out = static_cast<uInt>(with_dict.size());
    ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    with_dict.resize(zs.total_out);
    deflateEnd(&zs);
    n = out.size();
    EXPECT_EQ(zUncompress(out.data(), &n, with_dict.data(), with_dict.size()), ERR_DATA) << "needs a dictionary";

    size_t m = out.size();
    EXPECT_EQ(zCompress2(out.data(), &m, data_.data(), data_.size(), 42), ERR_BAD_ARG) << "bad level";
    EXPECT_EQ(boxes().size(), 4u);
}

TEST_F(ZWrapTest, ZlibMemoryComesFromTheLayersHooks)
{
    static int calls;
    calls = 0;
    const memHooksTy saved = memHooks;
    memHooks.alloc = [](size_t size) -> void* {
        ++calls;
        return std::malloc(size);
    };
    const Bytes p = packed();
    EXPECT_GT(calls, 0);

    memHooks.alloc = [](size_t) -> void* { return nullptr; };
    Bytes out(data_.size());
    size_t n = out.size();
    EXPECT_EQ(zUncompress(out.data(), &n, p.data(), p.size()), ERR_NO_MEMORY);
    memHooks = saved;
}

} // namespace
