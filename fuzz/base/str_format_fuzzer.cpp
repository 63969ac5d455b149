// The formatter over fuzzed format strings with a fixed, typed argument
// list. Input: one byte choosing the destination size, then the format.
// Checks that nothing is written past the destination, that the text is
// terminated where the returned pointer says, and that a cut output is a
// prefix of a longer run of the same format.
#include "engine/base/base.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// All narrow texts live in one array and all wide texts in another, so that
// a "%#s" start/end pair taken from the list always spans valid memory.
const char narrow_texts[] = "abc\0  spaced out \0%s%n%d\0\x1a\x85\xe0\0";
const char* const text_a = narrow_texts;
const char* const text_b = narrow_texts + 4;
const char* const text_c = narrow_texts + 18;
const char* const text_d = narrow_texts + 25;
const char16_t wide_texts[] = u"wide\0\u0141x y\0";
const char16_t* const wide_a = wide_texts;
const char16_t* const wide_b = wide_texts + 5;

const int32_t ref32 = -123456;
const int64_t ref64 = -(1LL << 40) - 5;
const char* const ref_text = text_b;
const char16_t* const ref_wide = wide_b;
const void* const ref_pointer = &ref32;

intptr_t get_int() { return -5; }
intptr_t get_text() { return reinterpret_cast<intptr_t>(text_c); }
intptr_t get_wide() { return reinterpret_cast<intptr_t>(wide_a); }

int count_sink = 0;

const strArgTy* argument_items(size_t& count)
{
    static const strArgTy items[] = {
        42,
        -7,
        static_cast<long long>(0x123456789ABCDEFLL),
        text_a,
        wide_a,
        static_cast<const void*>(&count_sink),
        strArgTy::Count(&count_sink),
        strArgTy::Ref(&ref32),
        strArgTy::Ref(&ref64),
        strArgTy::Ref(&ref_text),
        strArgTy::Ref(&ref_wide),
        strArgTy::RefPointer(&ref_pointer),
        strArgTy::IntGetter(get_int),
        strArgTy::TextGetter(get_text),
        strArgTy::WTextGetter(get_wide),
        nullptr,
        'x',
        text_b,
        text_d,
        wide_b,
        0x1A,
        -2147483647 - 1,
        text_c,
    };
    count = sizeof items / sizeof items[0];
    return items;
}

struct CappedString {
    std::string text;
};

bool put_capped(void* context, char c)
{
    auto* s = static_cast<CappedString*>(context);
    if (s->text.size() >= 4096)
        return false;
    s->text.push_back(c);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t destination = 1 + data[0] % 80;
    const std::string format(reinterpret_cast<const char*>(data + 1), size - 1);

    size_t count = 0;
    const strArgTy* items = argument_items(count);
    const strArgListTy list{items, count};

    // Bounded destination with guard bytes behind it.
    constexpr size_t guard = 16;
    char buffer[80 + guard];
    std::memset(buffer, 0x7E, sizeof buffer);
    errState.code = 0;
    char* end = strFormatArgs(buffer, destination, format.c_str(), &list);
    for (size_t i = destination; i < sizeof buffer; ++i) {
        if (static_cast<unsigned char>(buffer[i]) != 0x7E)
            std::abort();
    }
    if (end < buffer || end >= buffer + destination || *end != '\0' || std::strlen(buffer) != size_t(end - buffer))
        std::abort();

    // The same format into a larger sink: the cut output is its prefix.
    CappedString capped;
    strListArgsTy source(list);
    errState.code = 0;
    strFormatCore(&capped, put_capped, format.c_str(), STR_MODE_TEXT, &source);
    const std::string cut(buffer);
    if (capped.text.compare(0, cut.size(), cut) != 0 && cut.compare(0, capped.text.size(), capped.text) != 0)
        std::abort();

    // The library's message buffer stays bounded too.
    errState.code = 0;
    char* lib_end = strFormatArgs(nullptr, 0, format.c_str(), &list);
    if (lib_end < strMessageBuffer() || lib_end >= strMessageBuffer() + STR_MESSAGE_BUFFER_SIZE)
        std::abort();
    errState.code = 0;
    return 0;
}
