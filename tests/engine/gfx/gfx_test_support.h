// Shared fixture of the engine/gfx tests: reports are captured instead of
// shown (answered Ignore unless a test asks for Retry), and legacy streams
// are built in memory.
#pragma once

#include "engine/gfx/gfx_internal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

struct CapturedReport {
    int level;
    int code;
    std::string text;
};

class GfxTest : public testing::Test {
protected:
    void SetUp() override
    {
        saved_ = errState;
        errState.frames = nullptr;
        errState.mode = 0;
        errState.reportHandler = &GfxTest::capture;
        reports().clear();
        answer() = 0;
        imgRegisterClasses();
    }
    void TearDown() override { errState = saved_; }

    static std::vector<CapturedReport>& reports()
    {
        static std::vector<CapturedReport> list;
        return list;
    }
    // The answer every later report gets (ERR_DEBUG_BREAK = Retry); 0 = none.
    static int8_t& answer()
    {
        static int8_t value = 0;
        return value;
    }
    // The texts of the user messages reported so far.
    static std::vector<std::string> messages()
    {
        std::vector<std::string> out;
        for (const auto& r : reports())
            if (r.code == ERR_USER_MSG)
                out.push_back(r.text);
        return out;
    }

private:
    static void capture()
    {
        reports().push_back({ errState.level, errState.code, errState.message ? errState.message : "" });
        errState.answer = answer();
    }

    errStateTy saved_;
};

// Streams in memory.
struct StreamClose {
    void operator()(rwCTy* s) const
    {
        // A write stream goes to a memory block that is dropped: no file.
        rwMemBlockTy* block = nullptr;
        if (s && s->mode == RW_MODE_WRITE)
            rwSetTarget(s, &block);
        rwClose(s);
        memFree(block);
    }
};
using StreamPtr = std::unique_ptr<rwCTy, StreamClose>;

// An unpacked write stream kept in memory (closed without writing a file).
inline StreamPtr write_stream()
{
    return StreamPtr(rwWrOpen(nullptr, 0, RW_PACKER_ZLIB));
}

inline std::vector<uint8_t> bytes_of(const rwCTy* s) { return std::vector<uint8_t>(s->data, s->data + s->length); }

// A read stream over a copy of the bytes, as rwRdOpen leaves an unpacked file.
inline StreamPtr read_stream(const std::vector<uint8_t>& bytes)
{
    auto* s = static_cast<rwCTy*>(memAllocZ(sizeof(rwCTy)));
    s->magic = RW_MAGIC2;
    s->mode = RW_MODE_READ;
    s->data = static_cast<uint8_t*>(memAlloc(bytes.size()));
    if (!bytes.empty())
        std::memcpy(s->data, bytes.data(), bytes.size());
    s->length = bytes.size();
    s->unpackedSize = bytes.size();
    return StreamPtr(s);
}

// Little-endian words and bytes for golden records.
class Bytes {
public:
    Bytes& u32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b_.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& raw(std::initializer_list<uint8_t> v)
    {
        b_.insert(b_.end(), v);
        return *this;
    }
    Bytes& raw(const std::vector<uint8_t>& v)
    {
        b_.insert(b_.end(), v.begin(), v.end());
        return *this;
    }
    const std::vector<uint8_t>& get() const { return b_; }
    operator const std::vector<uint8_t>&() const { return b_; }

private:
    std::vector<uint8_t> b_;
};

// A palette of the given colour values (alpha as given, unlike Set).
inline std::unique_ptr<palCTy> make_palette(std::initializer_list<uint32_t> colours)
{
    auto pal = std::make_unique<palCTy>();
    std::vector<uint32_t> c(colours);
    pal->count = static_cast<uint32_t>(c.size());
    pal->entries = static_cast<uint32_t*>(memAlloc(c.size() * 4));
    if (!c.empty())
        std::memcpy(pal->entries, c.data(), c.size() * 4);
    return pal;
}
