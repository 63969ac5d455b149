#include "engine/base/rw_internal.h"
#include "files_test_support.h"
#include "quarn/ZipFormat.h"
#include "tests/Lib/quarn/src/quarn/zip_fixtures.h"

#include <cstdlib>
#include <cstring>
#include <random>
#include <zlib.h>

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

uint32_t get32(const Bytes& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t { b[at + 3] } << 24);
}

Bytes file_bytes(
    uint32_t magic, uint32_t flags, uint32_t packer, const Bytes& payload, uint32_t unpacked, uint32_t word = 0)
{
    Bytes b;
    put32(b, magic);
    put32(b, flags);
    put32(b, packer);
    put32(b, word);
    put32(b, static_cast<uint32_t>(payload.size()));
    put32(b, unpacked);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

Bytes zlib_packed(const Bytes& data)
{
    uLongf n = compressBound(static_cast<uLong>(data.size()));
    Bytes out(n);
    EXPECT_EQ(compress2(out.data(), &n, data.data(), static_cast<uLong>(data.size()), 6), Z_OK);
    out.resize(n);
    return out;
}

Bytes lz_packed(const Bytes& data)
{
    Bytes out(data.size() * 2 + 16);
    const int64_t n = lzPack(data.data(), data.size(), out.data(), out.size());
    EXPECT_GE(n, 0);
    out.resize(static_cast<size_t>(n));
    return out;
}

Bytes sample_data()
{
    Bytes d;
    for (int i = 0; i < 3000; ++i)
        d.push_back(static_cast<uint8_t>("legacy object data "[i % 19] + i / 500));
    return d;
}

class RwTest : public BaseTest {
protected:
    void SetUp() override
    {
        BaseTest::SetUp();
        errInitFileMessages();
    }

    rwCTy* open_bytes(const Bytes& b) { return rwOpenBytes(b.data(), b.size(), "test.imgs"); }

    std::string box_texts() const
    {
        std::string all;
        for (const auto& box : platform::shown_boxes())
            all += box.text + "\n";
        return all;
    }

    ScratchDir dir;
};

TEST_F(RwTest, PlainDataOfBothMagicsIsTheStreamsData)
{
    const Bytes payload = { 1, 2, 3, 4, 5, 6, 7, 8 };
    for (uint32_t magic : { RW_MAGIC1, RW_MAGIC2 }) {
        write_bytes(dir.file("plain.rw"), file_bytes(magic, 0, 1, payload, 8, 0xABCD));
        rwCTy* s = rwRdOpen(dir.file("plain.rw").c_str());
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->mode, RW_MODE_READ);
        EXPECT_EQ(s->magic, magic);
        EXPECT_EQ(s->word, 0xABCDu);
        EXPECT_EQ(s->position, 0u);
        ASSERT_EQ(s->length, 8u);
        EXPECT_EQ(Bytes(s->data, s->data + 8), payload);
        EXPECT_EQ(rwReadU32(s), 0x04030201u);
        EXPECT_EQ(rwClose(s), 0);
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(RwTest, PackedDataOfBothPackersIsUnpacked)
{
    const Bytes data = sample_data();
    struct Case {
        uint32_t packer;
        Bytes payload;
    };
    for (const Case& c : { Case { RW_PACKER_ZLIB, zlib_packed(data) }, Case { RW_PACKER_LZ, lz_packed(data) } }) {
        // Packer 0 is read through the file path too: a header detection in
        // front of it would refuse it.
        write_bytes(dir.file("packed.rw"),
            file_bytes(RW_MAGIC2, RW_PACKED, c.packer, c.payload, static_cast<uint32_t>(data.size())));
        rwCTy* s = rwRdOpen(dir.file("packed.rw").c_str());
        ASSERT_NE(s, nullptr) << c.packer;
        ASSERT_EQ(s->length, data.size()) << c.packer;
        EXPECT_EQ(Bytes(s->data, s->data + s->length), data) << c.packer;
        rwClose(s);
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(RwTest, WriteThenReadWithEveryPackerAndFlag)
{
    const Bytes block = sample_data();
    for (uint32_t flags : { 0u, RW_PACKED }) {
        for (uint32_t packer : { RW_PACKER_LZ, RW_PACKER_ZLIB }) {
            const std::string name = dir.file("out_" + std::to_string(flags) + std::to_string(packer) + ".imgs");
            rwCTy* w = rwWrOpen(name.c_str(), flags, packer);
            ASSERT_NE(w, nullptr);
            w->word = 77;
            // Both magics: the writer keeps whichever the stream carries.
            const uint32_t magic = packer == RW_PACKER_LZ ? RW_MAGIC1 : RW_MAGIC2;
            w->magic = magic;
            rwWriteStr(w, "imgRowCTy");
            rwWriteU32(w, 0xDEADBEEF);
            rwWriteStr(w, nullptr);
            rwWriteStr(w, "");
            rwWrite(w, block.data(), block.size());
            const size_t length = w->length;
            ASSERT_EQ(rwClose(w), 0);

            const Bytes file = read_bytes(name);
            ASSERT_GE(file.size(), RW_HEADER_SIZE);
            EXPECT_EQ(get32(file, 0), magic);
            EXPECT_EQ(get32(file, 4), flags);
            EXPECT_EQ(get32(file, 8), packer);
            EXPECT_EQ(get32(file, 12), 77u);
            EXPECT_EQ(get32(file, 16), file.size() - RW_HEADER_SIZE);
            EXPECT_EQ(get32(file, 20), length) << "the true unpacked length";
            if (flags) {
                EXPECT_LT(file.size(), length);
            }

            rwCTy* r = rwRdOpen(name.c_str());
            ASSERT_NE(r, nullptr);
            char* cls = rwReadStr(r);
            EXPECT_STREQ(cls, "imgRowCTy");
            memFree(cls);
            EXPECT_EQ(rwReadU32(r), 0xDEADBEEFu);
            EXPECT_EQ(rwReadStr(r), nullptr);
            char* empty = rwReadStr(r);
            ASSERT_NE(empty, nullptr);
            EXPECT_STREQ(empty, "");
            memFree(empty);
            Bytes back(block.size());
            EXPECT_EQ(rwRead(r, back.data(), back.size()), 0);
            EXPECT_EQ(back, block);
            EXPECT_EQ(r->position, r->length);
            rwClose(r);
        }
    }
    EXPECT_TRUE(boxes().empty());
}

TEST_F(RwTest, ReadStrTakesLengthThenBytes)
{
    const Bytes data = { 3, 0, 0, 0, 'a', 'b', 'c', 0xFF, 0xFF, 0xFF, 0xFF, 9, 0, 0, 0, 'x' };
    rwCTy* s = open_bytes(file_bytes(RW_MAGIC2, 0, 1, data, 0));
    ASSERT_NE(s, nullptr);
    char* abc = rwReadStr(s);
    EXPECT_STREQ(abc, "abc");
    memFree(abc);
    EXPECT_EQ(s->position, 7u);
    EXPECT_EQ(rwReadStr(s), nullptr);
    EXPECT_EQ(s->position, 11u);
    EXPECT_TRUE(boxes().empty());
    // A length beyond the data: nothing allocated, the end reported.
    EXPECT_EQ(rwReadStr(s), nullptr);
    EXPECT_EQ(s->position, s->length);
    EXPECT_NE(box_texts().find("Unexpected end of data"), std::string::npos);
    rwClose(s);
}

TEST_F(RwTest, ReadsPastTheEndAreZeroAndReportedOnce)
{
    rwCTy* s = open_bytes(file_bytes(RW_MAGIC2, 0, 1, { 1, 2, 3 }, 3));
    ASSERT_NE(s, nullptr);
    uint8_t out[8];
    std::memset(out, 0xCC, sizeof(out));
    EXPECT_EQ(rwRead(s, out, 8), ERR_END_OF_DATA);
    for (uint8_t b : out)
        EXPECT_EQ(b, 0);
    EXPECT_EQ(rwReadU32(s), 0u);
    rwSeek(s, 1000);
    EXPECT_EQ(rwRead(s, out, 1), ERR_END_OF_DATA);
    EXPECT_EQ(boxes().size(), 1u);
    rwClose(s);

    // Inside a TRY frame the first overrun unwinds to it.
    rwCTy* t = open_bytes(file_bytes(RW_MAGIC2, 0, 1, { 1 }, 1));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(errTry([&] { (void)rwReadU32(t); }), ERR_END_OF_DATA);
    rwClose(t);
}

TEST_F(RwTest, HeaderFaultsAreReportedAndLeaveNoData)
{
    const Bytes data = sample_data();
    const Bytes zipped = zlib_packed(data);
    struct Case {
        const char* what;
        Bytes file;
        const char* message;
    };
    Bytes corrupt = zipped;
    corrupt[zipped.size() / 2] ^= 0x55;
    const Case cases[] = {
        { "unknown packer", file_bytes(RW_MAGIC2, RW_PACKED, 7, zipped, 3000), "rwRdOpen: Unknown packer type" },
        { "corrupt zlib", file_bytes(RW_MAGIC2, RW_PACKED, 1, corrupt, 3000), "rwRdOpen(test.imgs): Can't unpack." },
        { "short unpacked size", file_bytes(RW_MAGIC2, RW_PACKED, 1, zipped, 2999), "Can't unpack." },
        { "long unpacked size", file_bytes(RW_MAGIC2, RW_PACKED, 1, zipped, 3001), "Can't unpack." },
        { "huge unpacked size", file_bytes(RW_MAGIC2, RW_PACKED, 1, zipped, 0xFFFFFFFF), "Can't unpack." },
        { "lz garbage", file_bytes(RW_MAGIC2, RW_PACKED, 0, { 0x00, 0x00, 0x55 }, 100), "Can't unpack." },
    };
    for (const auto& c : cases) {
        platform::clear_shown_boxes();
        rwCTy* s = open_bytes(c.file);
        ASSERT_NE(s, nullptr) << c.what;
        EXPECT_EQ(s->length, 0u) << c.what;
        EXPECT_EQ(s->data, nullptr) << c.what;
        EXPECT_NE(box_texts().find(c.message), std::string::npos) << c.what << "\n" << box_texts();
        rwClose(s);
    }

    // Enciphered data is not read: an empty stream, no report until a read.
    platform::clear_shown_boxes();
    rwCTy* e = open_bytes(file_bytes(RW_MAGIC2, RW_ENCIPHERED | RW_PACKED, 1, zipped, 3000));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->length, 0u);
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(rwReadU32(e), 0u);
    EXPECT_EQ(boxes().size(), 1u);
    rwClose(e);
}

TEST_F(RwTest, AHugeUnpackedSizeAllocatesNothing)
{
    const Bytes file = file_bytes(RW_MAGIC2, RW_PACKED, 0, lz_packed(Bytes(10, 'z')), 0x7FFFFFFF);
    static size_t largest;
    largest = 0;
    const memHooksTy saved = memHooks;
    memHooks.alloc = [](size_t n) -> void* {
        largest = std::max(largest, n);
        return std::malloc(n);
    };
    rwCTy* s = open_bytes(file);
    memHooks = saved;
    ASSERT_NE(s, nullptr);
    EXPECT_LT(largest, 4096u);
    rwClose(s);
}

TEST_F(RwTest, WrongMagicIsReportedAndTheDataStillReads)
{
    Bytes file = file_bytes(RW_MAGIC2, 0, 1, { 5, 0, 0, 0 }, 4);
    file[2] = '9';
    rwCTy* s = open_bytes(file);
    ASSERT_NE(s, nullptr);
    EXPECT_NE(box_texts().find("rwRdOpen(test.imgs): Wrong file or obsolete file format."), std::string::npos);
    EXPECT_EQ(rwReadU32(s), 5u);
    rwClose(s);
}

TEST_F(RwTest, FilesCutShortOrMissingGiveNoStream)
{
    const Bytes good = file_bytes(RW_MAGIC2, 0, 1, { 1, 2, 3, 4 }, 4);
    for (size_t n : { size_t { 0 }, size_t { 10 }, size_t { 23 }, good.size() - 1 }) {
        platform::clear_shown_boxes();
        EXPECT_EQ(open_bytes(Bytes(good.begin(), good.begin() + static_cast<long>(n))), nullptr) << n;
        EXPECT_NE(box_texts().find("Can't read after end of file 'test.imgs'"), std::string::npos) << n;
    }
    platform::clear_shown_boxes();
    const std::string missing = dir.file("missing.imgs");
    EXPECT_EQ(rwRdOpen(missing.c_str()), nullptr);
    EXPECT_NE(box_texts().find("Can't open file '" + missing + "'"), std::string::npos);
}

TEST_F(RwTest, WriteBufferGrowsByTheWriteAndTenMegabytes)
{
    rwCTy* w = rwWrOpen(nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(rwWrite(w, "12345", 5), 5u);
    EXPECT_EQ(w->capacity, 5u + 0xA00000);
    // A write after a seek past the end leaves zeros in the gap.
    rwSeek(w, 20);
    EXPECT_EQ(rwWrite(w, "x", 1), 21u);
    EXPECT_EQ(w->length, 21u);
    EXPECT_EQ(w->data[10], 0);
    rwSeek(w, 0xA00000 + 100);
    EXPECT_EQ(rwWrite(w, "y", 1), 0xA00000u + 101);
    EXPECT_GE(w->capacity, 0xA00000u + 101);

    rwMemBlockTy* block = nullptr;
    rwSetTarget(w, &block);
    w->flags = 0;
    ASSERT_EQ(rwClose(w), 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->magic, RW_MAGIC2);
    EXPECT_EQ(block->length, 0xA00000u + 101);
    EXPECT_EQ(block->unpackedSize, block->length);
    EXPECT_EQ(block->data, reinterpret_cast<uint8_t*>(block + 1));
    EXPECT_EQ(std::memcmp(block->data, "12345", 5), 0);
    EXPECT_EQ(block->data[0xA00000 + 100], 'y');
    memFree(block);
}

TEST_F(RwTest, UnknownPackerOnWriteIsReportedAndTheDataWrittenPlain)
{
    const std::string name = dir.file("odd.imgs");
    rwCTy* w = rwWrOpen(name.c_str(), RW_PACKED, 9);
    ASSERT_NE(w, nullptr);
    rwWriteU32(w, 42);
    EXPECT_EQ(rwClose(w), ERR_USER_MSG);
    EXPECT_NE(box_texts().find("rwClose: Unknown packer type"), std::string::npos);
    rwCTy* r = rwRdOpen(name.c_str());
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->flags & RW_PACKED, 0u);
    EXPECT_EQ(rwReadU32(r), 42u);
    rwClose(r);
}

TEST_F(RwTest, WriteToAFolderThatDoesNotExistIsReported)
{
    const std::string name = dir.file("no/such/x.imgs");
    rwCTy* w = rwWrOpen(name.c_str());
    ASSERT_NE(w, nullptr);
    rwWriteU32(w, 1);
    EXPECT_EQ(rwClose(w), ERR_CREATE);
    EXPECT_NE(box_texts().find("Can't create file '" + name + "'"), std::string::npos);
}

} // namespace

namespace {

// An image set kept in "DATA.zip" in place of the folder "DATA" opens by its
// usual name, with names written in another case, as the game asks for it.
TEST_F(RwTest, FilesOpenFromAZipArchiveStandingInForTheirFolder)
{
    quarn::io::ZipFormat zip_format;
    const Bytes data = sample_data();
    const Bytes packed = lz_packed(data);
    const Bytes file = file_bytes(RW_MAGIC2, RW_PACKED, RW_PACKER_LZ, packed, static_cast<uint32_t>(data.size()));
    quarn_test::write_zip(dir.file("DATA.zip"),
        { { "Car.IMGS", std::string(file.begin(), file.end()) } });

    rwCTy* s = rwRdOpen(dir.file("DATA\\car.imgs").c_str());
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->length, data.size());
    EXPECT_EQ(Bytes(s->data, s->data + s->length), data);
    rwClose(s);

    EXPECT_EQ(rwRdOpen(dir.file("DATA/other.imgs").c_str()), nullptr);
    EXPECT_NE(box_texts().find("Can't open file"), std::string::npos);
}

} // namespace
