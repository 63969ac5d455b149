// Configuration files.
#pragma once

#include "engine/base/err.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Configuration files: lines of "name = value", "--" comments.

constexpr size_t CFG_LINE_SIZE = 1024; // a line holds at most 1023 characters
// The most bytes of a bad value a report shows (platform::shown_text): the
// text as written, which another user may have written, control bytes
// escaped and cut between letters.
constexpr size_t cfgShownValueMost = 40;

// A variable. `value` is null until one is set; it reads as "".
struct cfgVarCTy {
    char* name;
    char* value;

    void SetInt(int number);
    const char* Text() const { return value ? value : ""; }
};

// The values an integer variable may take (see cfgCTy::CheckInt).
struct cfgIntRangeTy {
    int lo = 0;
    int hi = 0;
    bool clamp = false; // out of range: the nearer end, else the fallback
    int fallback = 0;
};

// How cfgCTy::Load went. Only a file read whole may be replaced by a save:
// one that was not holds settings this run never saw.
enum class cfgReadTy {
    whole,      // read to its end (bad lines are reported and skipped)
    none,       // nothing at the name (a link leading nowhere too)
    unopened,   // there, but it cannot be opened: `error` says why
    not_a_file, // a folder, a FIFO, a device (EISDIR or
                // platform::error_not_regular_file in `error`)
    cut,        // a read failed part-way: `error` says why
    utf16,      // UTF-16 text, with a byte order mark or without one,
                // whatever its letters: somewhere two ASCII letters stand
                // side by side, each in two bytes beside a NUL, as every
                // comment and every setting has them. It is not read: the
                // settings are read as UTF-8 (EILSEQ in `error`). NUL bytes
                // alone or in runs are no letters but damage, read as bad
                // lines; a mark before UTF-8 text is no mark.
    utf32,      // UTF-32 text, likewise in four bytes (EILSEQ in `error`)
};
struct cfgLoadTy {
    cfgReadTy read = cfgReadTy::none;
    int error = 0; // the system's error number, 0 for whole and none
    uint32_t variables = 0; // the lines read that set a variable
    // utf16 and utf32: where the first two letters of two (four) bytes
    // stand, a byte offset from 0 and the line from 1, counted by '\n'
    // bytes; what a player needs to find bytes that made UTF-8 text look
    // so (a picture appended to the file).
    uint64_t wideAt = 0;
    uint32_t wideLine = 0;
};

// Save's result when it kept a file because its owner may not write it
// (mode 444: settings frozen on purpose). Not reported: the caller says so.
inline constexpr int CFG_KEPT_READ_ONLY = 1;
// Save's result when it kept a file that is not the player's to replace:
// another user's in a folder every user may write to, one of root's or of
// another user's that the player may not write, or anyone else's link.
// Not reported: the caller says so with
// platform::refusal_text(platform::error_untrusted_owner), which names the
// file and its owner.
inline constexpr int CFG_KEPT_OTHERS = 2;

// A slot of the index of variables by name (cfg_index.cpp).
struct cfgSlotTy {
    uint32_t hash;  // of the name, ASCII case folded
    uint32_t place; // 1 + the variable's place in the list; 0: a free slot
};

// Variables in insertion order; names compare without regard to ASCII case.
// Finding a variable takes the same few steps however many there are.
class cfgCTy {
public:
    cfgCTy() = default;
    virtual ~cfgCTy();
    cfgCTy(const cfgCTy&) = delete;
    cfgCTy& operator=(const cfgCTy&) = delete;

    cfgVarCTy* Find(const char* name) const;
    // The variable, or a new one without value at the end; null when memory
    // ran out (reported; the list stays as it was).
    cfgVarCTy* FindOrAdd(const char* name);
    // Set a variable, adding it when absent. Null when memory ran out.
    cfgVarCTy* SetStr(const char* name, const char* text);
    cfgVarCTy* SetInt(const char* name, int number);
    // Only when the variable exists.
    void UpdateInt(const char* name, int number);
    // "" / 0 when absent. The number is read as atoi reads it (leading
    // digits), clamped to the int range.
    const char* GetStr(const char* name) const;
    int GetInt(const char* name) const;

    // Reads the file's variables over the current ones. A missing or
    // unreadable file changes nothing; only regular files are read (a FIFO
    // or a device would hold the program in the open or without end), and
    // only as UTF-8 (a UTF-16 or UTF-32 file is not read at all), and the
    // result says what was found. A bad line is reported ("Empty
    // variable name", "Invalid line", with the file name, the line number
    // and the line) even inside a TRY frame, and the lines after it load:
    // the file still counts as read whole. A value that lost its end to
    // the line's limit (cut between two UTF-8 letters) is reported by its
    // key and line. Past the first 20 such reports, the rest of the lines
    // are counted in one report at the end of the load.
    [[nodiscard]] cfgLoadTy Load(const char* fileName);
    // Keeps an integer variable inside range.lo..range.hi. A value that is
    // not a whole number (see cfgWholeNumber) is reported naming the key and
    // replaced by range.fallback; a number outside the range likewise, or
    // by the nearer end when range.clamp. An absent variable is left absent
    // (and reads as 0). Returns the value in force.
    int CheckInt(const char* name, const cfgIntRangeTy& range);
    // Writes every variable as "%s = %s\n". The new text goes to a file
    // beside the old one that then replaces it (the player's own symbolic
    // links are followed, to a missing file too, so a link stays a link;
    // the permissions of the player's own file are kept, a new file gets
    // 0644), so a failed save leaves the old file whole; when no file can
    // be made beside it, the file is rewritten in place after its new
    // length was reserved on the device. Only a regular file (or none) is
    // written. The player's own file that its owner may not write is kept:
    // CFG_KEPT_READ_ONLY; a file or link that is not the player's to
    // replace or write through (platform::may_use), judged again just
    // before the rename, is kept: CFG_KEPT_OTHERS. Anything else
    // that cannot be written is reported
    // with the name and the reason ("Can't write to file '%s': No space
    // left on device") and yields ERR_WRITE; whatever was there stays as
    // it was.
    [[nodiscard]] int Save(const char* fileName) const;

    uint32_t Count() const { return count_; }
    cfgVarCTy* At(uint32_t index) const { return index < count_ ? vars_[index] : nullptr; }

private:
    // Room for one more variable in the list and in the index; false when
    // memory ran out (not reported; nothing changed that a caller sees).
    bool MakeRoom();

    uint32_t count_ = 0;
    uint32_t capacity_ = 0; // places in vars_, grown by doubling
    cfgVarCTy** vars_ = nullptr;
    // Each variable's place by its name, so that Find costs the same with
    // ten or a million variables (cfg_index.cpp): index_ has slots_
    // entries, a power of two at least twice count_.
    cfgSlotTy* index_ = nullptr;
    uint32_t slots_ = 0;
};

// True when `text` is a whole number in decimal: an optional sign and
// digits, nothing else (the loader has trimmed the blanks around a value).
// "", "abc", "12abc", "1e3", "1.5" and "0x10" are not. `number` gets its
// value, a number beyond the int range the nearer end of that range.
bool cfgWholeNumber(const char* text, int* number);

// The file functions under cfgCTy::Load and cfgCTy::Save.
// Regular files only, opened without waiting; null with the reason in
// platform::last_error().
[[nodiscard]] std::FILE* cfgFileOpenRd(const char* fileName); // "rt"
[[nodiscard]] std::FILE* cfgFileOpenWr(const char* fileName); // "wt"
// Reads the next variable into the two CFG_LINE_SIZE buffers: 1, or 0 at
// the end of the file and after a reported bad line.
[[nodiscard]] int cfgFileReadVar(std::FILE* stream, char* name, char* value);
// Writes "%s = %s\n" (null reads as ""). 0, or ERR_WRITE (not reported).
[[nodiscard]] int cfgFileWriteVar(std::FILE* stream, const char* name, const char* value);
void cfgFileClose(std::FILE* stream);
