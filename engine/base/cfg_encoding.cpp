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
//
// A file called UTF-16 or UTF-32 by mistake (UTF-8 text with a picture's
// bytes appended, a value holding "a\0b\0") is mended only where the player
// finds the letters that decided it: the place of the first such pair is
// kept, as a byte offset and the line that holds it.
#include "engine/base/cfg_internal.h"

#include <algorithm>
#include <cstddef>

namespace {

// The bytes read as units of `width` bytes whose letter of the first 256
// code points would stand at `at` (0 little-endian, width - 1 big-endian).
class Reading {
public:
    Reading(size_t width, size_t at) : width_(width), at_(at) {}

    void Take(unsigned char byte)
    {
        ++taken_;
        letters_ += byte != 0;
        letter_at_ = filled_ == at_ ? byte != 0 : letter_at_;
        if (++filled_ < width_)
            return;
        const bool lone_letter = letters_ == 1 && letter_at_;
        if (!found_ && lone_letter && last_lone_letter_) {
            found_ = true;
            found_at_ = taken_ - 2 * width_;
        }
        last_lone_letter_ = lone_letter;
        filled_ = 0;
        letters_ = 0;
        letter_at_ = false;
    }
    // Two units side by side, each a letter and NULs.
    bool Found() const { return found_; }
    // The byte offset of the first such pair.
    uint64_t FoundAt() const { return found_at_; }

private:
    size_t width_, at_;
    uint64_t taken_ = 0; // bytes taken in all
    uint64_t found_at_ = 0;
    size_t filled_ = 0;  // bytes of the unit taken so far
    size_t letters_ = 0; // its bytes that are not NUL
    bool letter_at_ = false;
    bool last_lone_letter_ = false;
    bool found_ = false;
};

// The line (from 1) that holds the byte at `offset`, counted by '\n' bytes
// as an editor showing the file as UTF-8 counts them; the stream is read
// from its start.
uint32_t LineAt(std::FILE* stream, uint64_t offset)
{
    std::rewind(stream);
    unsigned char chunk[64 * 1024];
    uint32_t line = 1;
    while (offset > 0) {
        const size_t size = std::fread(chunk, 1, size_t(std::min<uint64_t>(offset, sizeof chunk)), stream);
        if (size == 0)
            break;
        line += uint32_t(std::count(chunk, chunk + size, '\n'));
        offset -= size;
    }
    return line;
}

// The first pair found among the readings of one width.
bool FirstFound(const Reading (&readings)[2], uint64_t& at)
{
    bool found = false;
    for (const Reading& reading : readings)
        if (reading.Found() && (!found || reading.FoundAt() < at)) {
            at = reading.FoundAt();
            found = true;
        }
    return found;
}

} // namespace

cfgEncodingTy cfgTextEncoding(std::FILE* stream)
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
    cfgEncodingTy encoding;
    if (FirstFound(utf32, encoding.at))
        encoding.read = cfgReadTy::utf32;
    else if (FirstFound(utf16, encoding.at))
        encoding.read = cfgReadTy::utf16;
    if (encoding.read != cfgReadTy::whole)
        encoding.line = LineAt(stream, encoding.at);
    std::rewind(stream);
    return encoding;
}
