// Shared by the configuration units of engine/base and their tests.
#pragma once

#include "engine/base/cfg.h"
#include "engine/base/file_internal.h"

// For tests: the number of variables cfgFileWriteVar writes before it
// fails as a full disk would; negative (the default) never fails.
extern int cfgWriteFailAfterForTest;
// Counts one variable against cfgWriteFailAfterForTest; true when that
// write is to fail.
bool cfgWriteFailsNow();
// For tests: called by cfgCTy::Save just before the text is put in place
// (once the new file is written, before it gets the file's name, or before
// the file is rewritten in place); null (the default) calls nothing.
extern void (*cfgBeforeRenameForTest)();

// What one line of a configuration file holds.
enum class cfgLineKind {
    variable,   // a name and a value
    blank,      // nothing but blanks or a comment
    empty_name, // '=' before any name
    no_equals,  // a name without '='
    damaged,    // NUL bytes, what a crash leaves, whatever else it holds
};
// Reads one line without its line end (at most size - 1 bytes; the rest
// of a longer line is dropped, and with it the part of a UTF-8 letter that
// did not fit). A line ends at LF, CR LF or a CR alone. A NUL byte reads as
// U+FFFD; `nul`, when given, says whether the line held one, `cut` whether
// the dropped rest held what a scan reads (more than blanks before a
// comment). False at the end of the file.
bool cfgReadLine(std::FILE* stream, char* line, size_t size, bool* nul = nullptr, bool* cut = nullptr);
// The most reports of single lines one load shows; the lines beyond them
// are counted in one report, lest a damaged file give a box per line.
inline constexpr unsigned cfgLineReportsShown = 20;
// U+FEFF in UTF-8: the byte order mark some editors put before the text.
inline constexpr char cfgByteOrderMark[] = "\xEF\xBB\xBF";
inline constexpr size_t cfgByteOrderMarkSize = sizeof cfgByteOrderMark - 1;
// Splits a line into the two CFG_LINE_SIZE buffers (filled for a variable).
// Byte order marks (U+FEFF in UTF-8, UTF-16's FF FE and FE FF) before the
// name are passed over as blanks are.
cfgLineKind cfgScanLine(const char* line, char* name, char* value);
// cfgScanLine on a line cfgReadLine read, `nul` its answer: a line that
// held a NUL is damaged, and nothing of it is taken, lest a value or a
// name with U+FFFD in it be saved as if the file had said so.
cfgLineKind cfgScanReadLine(const char* line, bool nul, char* name, char* value);
// The report text of a bad line: "Empty variable name" or "Invalid line".
const char* cfgLineError(cfgLineKind kind);

// cfgCTy::Load on a stream that is already open (left open); `fileName`
// names the file in the reports of bad lines. 0 when the stream was read to
// its end, else the error number of the read that failed. `variables`, when
// given, counts the lines that set a variable.
int cfgLoadStream(cfgCTy& cfg, std::FILE* stream, const char* fileName, uint32_t* variables = nullptr);
// The encoding of the text of a stream just opened: cfgReadTy::utf16 or
// utf32 (either byte order, with a mark or without one) for text that is
// not read, cfgReadTy::whole for anything else, which is read as UTF-8.
// For utf16 and utf32, where the first two letters of that width stand.
// The whole stream is read, then from its start again.
struct cfgEncodingTy {
    cfgReadTy read = cfgReadTy::whole;
    uint64_t at = 0;   // their byte offset, from 0
    uint32_t line = 0; // the line that holds them, from 1
};
cfgEncodingTy cfgTextEncoding(std::FILE* stream);
// cfgCTy::Load on a stream just opened (left open), from its start: text
// in UTF-16 or UTF-32 is not read (cfgReadTy::utf16, utf32 with EILSEQ);
// anything else goes through cfgLoadStream.
cfgLoadTy cfgLoadOpenStream(cfgCTy& cfg, std::FILE* stream, const char* fileName);

// Names compare without regard to ASCII case, as the layer always compared
// them; the hash folds the case likewise.
bool cfgSameName(const char* a, const char* b);
uint32_t cfgNameHash(const char* name);
// The index of cfgCTy's names (cfg_index.cpp): `slots` (a power of two,
// more than the variables) of a name's hash and 1 + its variable's place
// in `vars`, place 0 where free. The slot of `name`, whose hash is `hash`:
// the one holding its variable's place, or the free one where it would go.
cfgSlotTy* cfgIndexSlot(cfgSlotTy* index, uint32_t slots, cfgVarCTy* const* vars, const char* name, uint32_t hash);
// A new index of `grown_slots` slots (a larger power of two) holding what
// `index` of `slots` slots holds (or nothing, when null); null (not
// reported) when memory ran out.
cfgSlotTy* cfgIndexGrown(const cfgSlotTy* index, uint32_t slots, uint32_t grown_slots);
