// Shared by the .cpp files of engine/gfx and its tests; no other folder
// includes it.
#pragma once

#include "engine/gfx/gfx.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quarn::io {
class Stream;
}

// Reports an operation this layer does not support, at the error level,
// and breaks into the debugger when the report answers Retry. The text is
// passed as an argument, never as a format.
void gfxReportNotImpl(const char* text);

// Reports ERR_DATA ("Data error") for a stream record that cannot be right;
// the file loaders mark their file with errReadingFile, so that the report
// names it. Returns ERR_DATA (or the box answer).
int gfxReportDataError();
// The same with the reason after it, which the player needs to mend the
// file: "Data error in file '<the file being read>': <why>", or "Data
// error: <why>" outside a file's scope.
int gfxReportDataError(const char* why);
// Why imgBlockSize refuses a picture of w x h pels (both at least 0), in
// the words of such a report: "the picture is 40000 pels wide, at most
// 32768".
[[nodiscard]] std::string imgBlockRefusal(int64_t w, int64_t h, uint32_t bytesPerPel);

// Bytes left after the read position of a stream.
[[nodiscard]] size_t gfxStreamLeft(const rwCTy* stream);

// Reads a little-endian u32: 0, or the stream's reported ERR_END_OF_DATA
// (then *value is 0).
[[nodiscard]] int gfxReadU32(rwCTy* stream, uint32_t* value);

// Makes the stream fail as a read of `size` bytes past its end does (the
// stream reports ERR_END_OF_DATA once and moves to its end), without
// copying anything. Used before allocating for a record that the data
// cannot hold. Returns ERR_END_OF_DATA.
int gfxFailShortRead(rwCTy* stream, size_t size);

// Appends the RLE8 codes of n pels (key 0..255 or rle8_NO_KEY) to `out`;
// nothing when every pel is the key. Returns the count appended.
size_t rle8AppendRow(std::vector<uint8_t>& out, const uint8_t* pels, int32_t n, uint32_t key);

// Releases the image's rows and makes `count` null rows over one new block
// of `blockSize` bytes (none when 0), which the caller fills and points the
// rows into. False when out of memory; the image then has no rows.
[[nodiscard]] bool rle8MakeRows(imgRle8CTy* image, int32_t count, size_t blockSize);

// Reports `code` with a file name as its argument (the reporter keeps the
// address, so the name is copied first). Returns the report's result.
int gfxReportFile(int code, const char* name);
// ERR_OPEN for a stream that did not open `name`, reported with the name
// and the reason the stream's file gave (missing, refused by the rule for
// shared folders, ...): the player can act on it. Returns the report's
// result.
int gfxReportOpenFailure(const char* name, const quarn::io::Stream& stream);
// ERR_CREATE or ERR_WRITE, reported with the file's name and the reason
// (`error`, an operating-system error number): the player can act on it.
int gfxReportFileFailure(int code, const char* name, int error);

// Reports ERR_DATA with "<name>: <text>" as its message (a decoder's
// failure). Returns the report's result.
int gfxReportDecoderError(const char* name, const char* text);

// ReadBmp on a BMP file's bytes in memory.
[[nodiscard]] int imgReadBmpBytes(imgCTy* image, const uint8_t* data, size_t size);
// The BMP file SaveBmp writes for the image, in memory. ERR_DATA (not
// reported) for an image without pels or in a format of no pel size.
[[nodiscard]] int imgBmpBytes(imgCTy* image, std::vector<uint8_t>& out);
