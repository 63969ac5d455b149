// Which encoding a settings file's text is in, as far as the load tells
// encodings apart: UTF-16 and UTF-32 are not read, anything else is read as
// UTF-8.
//
// Every line of a settings file that means anything holds two ASCII
// letters side by side: a comment's "--", or a name and " = ". In UTF-16
// or UTF-32 each of them stands in a unit of two or four bytes, the letter
// at one end and NUL in the rest, whatever other letters the file holds
// (CJK, emoji). UTF-8 text holds no NUL but where it is damaged, and then
// NULs stand alone or in runs: a single NUL makes one such unit at most,
// never two side by side, and a run of them makes units of NULs alone,
// which are no letters in any encoding. So one pair of such units, anywhere
// in the file, tells the encoding, and nothing short of it does. A byte
// order mark is one more unit of the text: it decides nothing, so UTF-8
// text that a tool put FF FE before is read as UTF-8, with or without a
// stray NUL in it, as it would be without the mark.
#include "engine/base/cfg_internal.h"

#include <cstddef>

namespace {

// The bytes read as units of `width` bytes whose letter of the first 256
// code points would stand at `at` (0 little-endian, width - 1 big-endian).
class Reading {
public:
    Reading(size_t width, size_t at) : width_(width), at_(at) {}

    void Take(unsigned char byte)
    {
        letters_ += byte != 0;
        letter_at_ = filled_ == at_ ? byte != 0 : letter_at_;
        if (++filled_ < width_)
            return;
        const bool lone_letter = letters_ == 1 && letter_at_;
        found_ = found_ || (lone_letter && last_lone_letter_);
        last_lone_letter_ = lone_letter;
        filled_ = 0;
        letters_ = 0;
        letter_at_ = false;
    }
    // Two units side by side, each a letter and NULs.
    bool Found() const { return found_; }

private:
    size_t width_, at_;
    size_t filled_ = 0;  // bytes of the unit taken so far
    size_t letters_ = 0; // its bytes that are not NUL
    bool letter_at_ = false;
    bool last_lone_letter_ = false;
    bool found_ = false;
};

} // namespace

cfgReadTy cfgTextEncoding(std::FILE* stream)
{
    // UTF-32 first: what stands so in four bytes is no UTF-16 (its units
    // of NULs alone part each pair of letters there).
    Reading utf32[] = {{4, 0}, {4, 3}};
    Reading utf16[] = {{2, 0}, {2, 1}};
    unsigned char chunk[64 * 1024];
    bool wide = false;
    size_t size = 0;
    while (!wide && (size = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
        for (size_t i = 0; i < size; ++i)
            for (Reading* reading : {&utf32[0], &utf32[1], &utf16[0], &utf16[1]})
                reading->Take(chunk[i]);
        wide = utf32[0].Found() || utf32[1].Found();
    }
    std::rewind(stream);
    if (wide)
        return cfgReadTy::utf32;
    if (utf16[0].Found() || utf16[1].Found())
        return cfgReadTy::utf16;
    return cfgReadTy::whole;
}
