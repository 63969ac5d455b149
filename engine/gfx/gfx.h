// The older engine layer's images: pel formats and colour conversion,
// palettes, the image interface `imgCTy` and the row image `imgRowCTy`.
//
// Pels are stored in one of the pel formats below. A colour value is a u32
// laid out as a pel_FMT_X8R8G8B8 pel (bytes B, G, R, A in memory, 0xAARRGGBB
// as a number); colour keys, fills by colour and palette entries use it.
// 16-bit pels open into 8-bit channels by plain left shifts and close by
// plain right shifts: no rounding, no replication of high bits into low bits.
//
// Failures go through the base library's reporter (engine/base/base.h).
// Inside a TRY frame a report unwinds to the frame; every operation here
// leaves its objects whole when that happens.
#pragma once

#include "engine/base/base.h"

#include <bit>
#include <cstddef>
#include <cstdint>

namespace quarn::io {
class IStream;
}

static_assert(std::endian::native == std::endian::little, "pels and colour values are little-endian words");

// ---------------------------------------------------------------------------
// Pel formats.

inline constexpr uint32_t pel_FMT_R8G8B8 = 1;   // bytes B, G, R
inline constexpr uint32_t pel_FMT_X8R8G8B8 = 2; // bytes B, G, R, X
inline constexpr uint32_t pel_FMT_A8R8G8B8 = 3; // bytes B, G, R, A
inline constexpr uint32_t pel_FMT_R5G6B5 = 4;   // R bits 11-15, G 5-10, B 0-4
inline constexpr uint32_t pel_FMT_X1R5G5B5 = 5; // R bits 10-14, G 5-9, B 0-4, bit 15 spare
inline constexpr uint32_t pel_FMT_A1R5G5B5 = 6; // as 5, bit 15 = alpha (set = opaque)
// Codes 7 and 8 are two-byte formats without conversions in this layer;
// code 0 means that no format was chosen.
inline constexpr uint32_t pel_FMT_P8 = 9;   // one byte, an index into the palette
inline constexpr uint32_t pel_FMT_Z32 = 10; // one signed 32-bit 16.16 value
inline constexpr uint32_t pel_FMT_COUNT = 11;

// Bytes per pel for codes 0 to 10.
inline constexpr uint8_t pelBytes[pel_FMT_COUNT] = { 4, 3, 4, 4, 2, 2, 2, 2, 2, 1, 4 };

// Bytes per pel of any code: 0 for codes above 10, which no image of this
// layer holds (stream readers refuse them).
constexpr uint32_t pelSize(uint32_t format) { return format < pel_FMT_COUNT ? pelBytes[format] : 0; }

// ---------------------------------------------------------------------------
// Pel packers and unpackers. Each works on one pel in memory; a B, G, R
// triple is three bytes in that order (the first three bytes of a 24- or
// 32-bit pel or of a colour value).

constexpr uint16_t pelMake565(uint32_t r5, uint32_t g6, uint32_t b5)
{
    return static_cast<uint16_t>(r5 << 11 | (g6 & 63) << 5 | (b5 & 31));
}

// Bits 0-14 from the channels (each masked to five bits); bit 15 kept.
inline void pelMake555(uint16_t* pel, uint32_t r5, uint32_t g5, uint32_t b5)
{
    *pel = static_cast<uint16_t>((*pel & 0x8000) | (r5 & 31) << 10 | (g5 & 31) << 5 | (b5 & 31));
}

inline void pelSet565(uint16_t* pel, const uint8_t* bgr)
{
    *pel = static_cast<uint16_t>((bgr[2] >> 3) << 11 | (bgr[1] >> 2) << 5 | bgr[0] >> 3);
}

// Bit 15 kept.
inline void pelSet555(uint16_t* pel, const uint8_t* bgr)
{
    *pel = static_cast<uint16_t>((*pel & 0x8000) | (bgr[2] >> 3) << 10 | (bgr[1] >> 3) << 5 | bgr[0] >> 3);
}

inline void pel565ToBGR(uint8_t* bgr, uint16_t pel)
{
    bgr[0] = static_cast<uint8_t>((pel & 31) << 3);
    bgr[1] = static_cast<uint8_t>(((pel >> 5) & 63) << 2);
    bgr[2] = static_cast<uint8_t>((pel >> 11) << 3);
}

// Bit 15 ignored.
inline void pel555ToBGR(uint8_t* bgr, uint16_t pel)
{
    bgr[0] = static_cast<uint8_t>((pel & 31) << 3);
    bgr[1] = static_cast<uint8_t>(((pel >> 5) & 31) << 3);
    bgr[2] = static_cast<uint8_t>(((pel >> 10) & 31) << 3);
}

// As the two above, with alpha 255.
inline void pel565ToColor(uint32_t* colour, uint16_t pel)
{
    *colour = 0xFF000000u | uint32_t((pel >> 11) << 3) << 16 | uint32_t(((pel >> 5) & 63) << 2) << 8
        | uint32_t((pel & 31) << 3);
}

inline void pel555ToColor(uint32_t* colour, uint16_t pel)
{
    *colour = 0xFF000000u | uint32_t(((pel >> 10) & 31) << 3) << 16 | uint32_t(((pel >> 5) & 31) << 3) << 8
        | uint32_t((pel & 31) << 3);
}

// Green's five bits go to bits 6-10; bit 5 = 0.
inline void pel555To565(uint16_t* out, uint16_t pel)
{
    *out = static_cast<uint16_t>(((pel >> 10) & 31) << 11 | ((pel >> 5) & 31) << 6 | (pel & 31));
}

// Green's lowest bit is dropped; bit 15 of *out kept.
inline void pel565To555(uint16_t* out, uint16_t pel)
{
    *out = static_cast<uint16_t>((*out & 0x8000) | ((pel >> 11) & 31) << 10 | ((pel >> 6) & 31) << 5 | (pel & 31));
}

// ---------------------------------------------------------------------------
// Palettes.

// The colour table of an 8-bit image, with one cached copy of its colours
// converted to pels of one format (the table the palette-source draws index
// with the source byte).
struct palCTy {
    uint32_t count = 0;
    uint32_t* entries = nullptr; // count colour values, owned
    uint8_t* table = nullptr;    // count pels of tableFmt, packed; owned
    uint32_t tableFmt = 0;       // 0 = no valid table cached

    palCTy() = default;
    ~palCTy();
    palCTy(const palCTy&) = delete;
    palCTy& operator=(const palCTy&) = delete;

    // n colours; B, G, R copied, alpha 255. When memory runs out (reported)
    // the palette is left empty.
    void Set(const uint32_t* colours, uint32_t n);
    // All four bytes of every entry; the other's table is not copied.
    void Copy(const palCTy* other);
    // Makes `table` hold the entries as pels of `format` (cached: rebuilt
    // only when another format is asked for). Formats without a conversion
    // (0, 7, 8, 9, 10 and above) report "palCTy::BuildTbl: not impelmetned
    // yet" once and leave a zeroed table. When memory runs out, `table` is
    // null and nothing is cached.
    void BuildTbl(uint32_t format);
    // Index of the entry nearest in squared RGB distance; ties to the lowest
    // index; 0 when every entry is 10000 or more away.
    [[nodiscard]] uint8_t FindNearest(uint8_t b, uint8_t g, uint8_t r) const;

    // u32 count, then R, G, B of every entry. Entries read get alpha 255.
    void Write(rwCTy* stream) const;
    // 0, or a negative code (reported): the stream's ERR_END_OF_DATA when it
    // does not hold the entries; the palette is then left as it was.
    [[nodiscard]] int Read(rwCTy* stream);
};

// Palette kinds in the stream form of a pel format record.
inline constexpr uint32_t pal_KIND_NONE = 0;
inline constexpr uint32_t pal_KIND_OWN = 1;    // the palette record follows
inline constexpr uint32_t pal_KIND_SHARED = 2; // attached by the image set after loading

// What a pel format record read with palette kind 2 points at until the
// image set attaches the shared palette: an empty palette that is never
// freed, never given a table, and that copies keep as it is.
palCTy* palSharedPlaceholder();

// ---------------------------------------------------------------------------
// Pel format record: a format code with an optional palette.

struct pelFmtCTy {
    uint32_t format = 0;
    palCTy* palette = nullptr;
    uint32_t ownsPal = 0; // 1 when this record frees the palette

    pelFmtCTy() = default;
    // Stores the palette without owning it.
    explicit pelFmtCTy(uint32_t format, palCTy* palette = nullptr) : format(format), palette(palette) {}
    // A copy owns its own copy of the source's palette (the shared
    // placeholder is kept as it is).
    pelFmtCTy(const pelFmtCTy& other);
    pelFmtCTy& operator=(const pelFmtCTy& other);
    ~pelFmtCTy();

    // Palette null and not owned; an owned palette is freed.
    void ClearPalette();
    // This record's own copy of `pal` (copied into an owned palette, or into
    // a new one).
    void SetPalette(const palCTy* pal);
    // Points at `pal` without owning it.
    void AttachPalette(palCTy* pal);
    // The palette's entries as pels of `format` (palCTy::BuildTbl); null
    // without a palette or when no table could be made.
    [[nodiscard]] void* GetPalTbl(uint32_t format);

    // Colour to a pel of this format. `colourFmt` must be pel_FMT_X8R8G8B8;
    // for any other value the colour is returned unchanged. 16-bit formats
    // truncate; pel_FMT_X1R5G5B5 pels get bit 15 clear and pel_FMT_A1R5G5B5
    // pels bit 15 set; pel_FMT_P8 with a palette gives the nearest index.
    [[nodiscard]] uint32_t ColorToPel(uint32_t colour, uint32_t colourFmt) const;
    // A pel of this format as a pel of `wantedFmt`. With a palette the pel is
    // an index (past the entries it reads as colour 0). Formats without a
    // conversion give the pel unchanged.
    [[nodiscard]] uint32_t PelToColor(uint32_t pel, uint32_t wantedFmt) const;

    // u32 format, u32 palette kind, the palette record for kind 1.
    void Write(rwCTy* stream) const;
    // 0, or a negative code (reported): the stream's ERR_END_OF_DATA, or
    // ERR_DATA for a format code above 10; the record is then left as it
    // was. An unknown palette kind reports "Unknow palette kind: %d", keeps
    // the palette and yields 0.
    [[nodiscard]] int Read(rwCTy* stream);
};

// ---------------------------------------------------------------------------
// Images.

// The largest picture any image of this layer holds: at most 32768 pels on
// a side and 2^30 bytes of pels. Every size from a caller or a file goes
// through imgBlockSize before anything is allocated for it.
inline constexpr int64_t img_MAX_SIDE = 32768;
inline constexpr size_t img_MAX_BYTES = size_t { 1 } << 30;
// True with the bytes of w x h pels of `bytesPerPel` bytes when both sides
// lie in 0..img_MAX_SIDE and the bytes within img_MAX_BYTES.
[[nodiscard]] bool imgBlockSize(int64_t w, int64_t h, uint32_t bytesPerPel, size_t* bytes);

// Image kinds (`imgCTy::kind`).
inline constexpr uint32_t img_KIND_ROW = 1;
inline constexpr uint32_t img_KIND_RLE8 = 2;
inline constexpr uint32_t img_KIND_ALPHA = 3;
inline constexpr uint32_t img_KIND_SURFACE = 5;

// Lock modes.
inline constexpr uint32_t img_LOCK_RW = 0;
inline constexpr uint32_t img_LOCK_READ = 1;
inline constexpr uint32_t img_LOCK_WRITE = 2; // the caller does not need the old pels
inline constexpr uint32_t img_LOCK_WRITE2 = 3;

// Draw operations (`imgDrawPrmCTy::op`); code 2 and codes above 15 draw
// nothing.
inline constexpr uint32_t img_OP_COPY = 0;
inline constexpr uint32_t img_OP_ALPHA = 1;
inline constexpr uint32_t img_OP_ALPHAMAP = 3;
inline constexpr uint32_t img_OP_MODULATE = 4;
inline constexpr uint32_t img_OP_MODULATE2X = 5;
inline constexpr uint32_t img_OP_MODULATE4X = 6;
inline constexpr uint32_t img_OP_ADD = 7;
inline constexpr uint32_t img_OP_ADDSIGNED = 8;
inline constexpr uint32_t img_OP_ADDSIGNED2X = 9;
inline constexpr uint32_t img_OP_SUBTRACT = 10;
inline constexpr uint32_t img_OP_ADDSMOOTH = 11;
inline constexpr uint32_t img_OP_FADEADD = 12;
inline constexpr uint32_t img_OP_SCALED = 13;
inline constexpr uint32_t img_OP_BLEND = 14;
inline constexpr uint32_t img_OP_BLENDALPHA = 15;

class imgCTy;

// Draw parameters of `imgCTy::DrawEx`.
struct imgDrawPrmCTy {
    uint32_t op = img_OP_COPY;
    uint32_t scaled = 0; // any value but 0 counts as set
    int32_t alpha = 0;   // opacity 0..256 (ops 1, 15) or fade amount (op 12)
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    imgCTy* alphaMap = nullptr; // one 8-bit pel per source pel (op 3)
    imgCTy* srcDepth = nullptr; // one i32 per pel
    imgCTy* dstDepth = nullptr;
};

// The software blitter's draw entry: draws `rect` of `source` (null: the
// source's GetRect) at x + rect.x, y + rect.y of `destination`. The blitter
// installs it; nothing here draws pels itself.
using imgDrawEntryTy = void (*)(imgCTy* source, imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                                const imgDrawPrmCTy& prm);
// Installs the entry (null removes it); yields the one installed before.
imgDrawEntryTy imgSetDrawEntry(imgDrawEntryTy entry);
[[nodiscard]] imgDrawEntryTy imgGetDrawEntry();

// The most bytes the BMP save adds to a file name for its temporary files
// ("<name>.99.tmp~"), and so the longest name SaveBmpNewIn saves under
// where a folder's names have at most 255 bytes (NAME_MAX).
inline constexpr size_t imgSaveNameRoom = 8;
inline constexpr size_t imgSaveNameMost = 255 - imgSaveNameRoom;

// The abstract image: a rectangle of pels in one pel format, with an
// optional colour key and a lock that hands out the pels of a rectangle.
// The fields are public: the blitter and the line primitives read them.
//
// Lock protocol: Lock sets `lockPtr` to the first pel of the locked
// rectangle and `pitch` to the distance between rows in pels (not bytes);
// Unlock sets `lockPtr` back to null. A second Lock on a locked image keeps
// the first rectangle and mode; one Unlock ends the lock.
class imgCTy : public rwObjCTy {
public:
    uint32_t kind = 0;
    pelFmtCTy pelFmt;
    int32_t width = 0;
    int32_t height = 0;
    void* lockPtr = nullptr;
    int32_t pitch = 0;
    rectTy lockRect = { 0, 0, 0, 0 };
    uint32_t lockMode = 0;
    uint32_t keyFlag = 0;  // 0 or 1
    uint32_t keyColor = 0; // colour value
    uint32_t keyPel = 0;   // the key as a pel of the image's own format
    uint32_t inPlace = 0;  // 1 when the pels lie in a legacy stream's buffer

    imgCTy() = default;
    // Kind, format (owned palette copy), size and key; unlocked, not in place.
    imgCTy(const imgCTy& other);
    imgCTy& operator=(const imgCTy&) = delete;
    ~imgCTy() override = default;

    // Legacy object streams: header, then body.
    void Write(rwCTy* stream) override;
    void Read(rwCTy* stream) override;

    // A copy of `rect`, or the whole image when null.
    virtual rectTy* GetLockRect(const rectTy* rect, rectTy* out, uint32_t mode);
    // Key on; key pel = pel, key colour = its colour. Yields the colour.
    virtual uint32_t SetColorKeyPel(uint32_t pel);
    // Key on; key colour = colour, key pel = its pel. Yields the pel.
    virtual uint32_t SetColorKey(uint32_t colour);
    // Stores the rectangle and mode when not locked yet. Concrete images set
    // lockPtr and pitch; the result is the pitch.
    virtual int32_t Lock(const rectTy* rect, uint32_t mode);
    virtual void Unlock();
    // The pel at (x, y) as a value of the image's format (24-bit pels as
    // 0x00RRGGBB, 16-bit zero-extended, 8-bit the index); 0xFFFFFFFF for a
    // format without pel access (reported), outside the image or without
    // pels.
    virtual uint32_t PelAtXY(int32_t x, int32_t y);
    virtual uint32_t ColorAtXY(int32_t x, int32_t y);
    // Sets every pel of `rect` (null: the whole image; clipped to the image)
    // to `pel`, a value of the image's own format. Unlocks the image.
    virtual void Fill(uint32_t pel, const rectTy* rect);
    // Locks this image and the three others whole (read and write) and
    // unlocks them in reverse order; no pel changes.
    virtual void Combine(imgCTy* a, uint32_t w0, uint32_t w1, uint32_t w2, imgCTy* b, imgCTy* c);
    // Draws through DrawEx: a copy.
    virtual void Draw(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect);
    // Nothing in the base (the surface, alpha and RLE8 images draw mirrored).
    // Mirrored, the picture's column c lands at x + width - c; scaled by
    // op 13, its scaled unit u at x + floor(width x scale x) - u, the box
    // starting at unit ceil(box.x x scale x).
    virtual void DrawMirrorH(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect);
    virtual void DrawExMirrorH(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                               const imgDrawPrmCTy& prm);
    // The draw entry: the installed blitter draws. Without one, reports
    // "imgCTy::DrawEx: This is not impelmetned yet".
    virtual void DrawEx(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm);
    // DrawEx with img_OP_ALPHAMAP and the map.
    virtual void DrawAlphaMap(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, imgCTy* map);
    // DrawEx with img_OP_ALPHA, alpha = opacity x 256 truncated (1.0: 256).
    virtual void DrawAlpha(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, float opacity);
    // {0, 0, width, height}.
    virtual rectTy GetRect();
    [[nodiscard]] virtual imgCTy* Clone() = 0;
    virtual void Free() = 0;
    // The base stores the size only; concrete images take the format (when
    // given), re-derive the key pel and allocate.
    virtual void SetSize(int32_t w, int32_t h, const pelFmtCTy* format);
    // Stream parts. Results: 0 (ReadInPlace: 1), or a negative code that was
    // reported; a failed read leaves an empty image (0 x 0).
    [[nodiscard]] virtual int ReadInPlace(rwCTy* stream);
    virtual void WriteHeader(rwCTy* stream);
    virtual void WriteBody(rwCTy* stream);
    [[nodiscard]] virtual int ReadHeader(rwCTy* stream);
    [[nodiscard]] virtual int ReadBody(rwCTy* stream);
    [[nodiscard]] virtual int ReadBodyInPlace(rwCTy* stream);

    // Lines of one pel value of the image's own format, stored unchanged
    // (no blending, no key). Bit (k mod 32) of `pattern` decides whether
    // the k-th pel from the line's start is written; DrawLine writes every
    // pel of its line. Lines are clipped to the image (the pattern still
    // counts from the unclipped start); negative lengths draw nothing.
    // Formats without pels of their own (0, 7, 8, above 10) report
    // "imgCTy::DrawHLine: This is not impelmetned yet" (or DrawVLine,
    // DrawLine) and draw nothing.
    virtual void DrawHLine(uint32_t pel, int32_t x, int32_t y, int32_t length, uint32_t pattern);
    virtual void DrawVLine(uint32_t pel, int32_t x, int32_t y, int32_t length, uint32_t pattern);
    virtual void DrawLine(uint32_t pel, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t pattern);
    // The same with a colour value, converted by ColorToPel.
    void DrawHLineRgb(const uint32_t* colour, int32_t x, int32_t y, int32_t length, uint32_t pattern);
    void DrawVLineRgb(const uint32_t* colour, int32_t x, int32_t y, int32_t length, uint32_t pattern);

    // Image files. Each yields 0, or the negative code it reported; a file
    // that cannot be read leaves the image empty (0 x 0) or as it was when
    // nothing was changed yet.
    //
    // Load: a BMP file (or archive member) by name; ERR_OPEN when it does
    // not open. ReadBmp: a BMP picture from the stream's position to its
    // end. 8-, 16-, 24- and 32-bit pictures with a 40-byte or longer
    // information header, stored bottom-up or top-down, uncompressed or with
    // the bit fields of 5:6:5, 5:5:5 or 8:8:8; everything else is ERR_DATA.
    [[nodiscard]] virtual int Load(const char* name);
    [[nodiscard]] virtual int ReadBmp(quarn::io::IStream& stream);
    // A text picture: width, height, then width x height numbers, one a
    // line, top row first; each becomes a pel_FMT_Z32 pel of 16.16 fixed
    // point (a 0 is stored as -30000.0).
    [[nodiscard]] virtual int LoadTxt(const char* name);
    // TGA and JPEG pictures through the image library's decoders, in the
    // format they decode to (8-bit pictures with their palette). A decoder
    // failure is reported as a user message with its text.
    [[nodiscard]] virtual int LoadTga(const char* name);
    [[nodiscard]] virtual int ReadTga(quarn::io::IStream& stream);
    [[nodiscard]] virtual int LoadJpg(const char* name);
    // Writes the picture as a BMP file: 24 bits for pel_FMT_R8G8B8, 32 for
    // 4-byte formats (bit fields 8:8:8 for pel_FMT_X8R8G8B8), 16 for 2-byte
    // ones (bit fields 5:6:5 for pel_FMT_R5G6B5), 8 with the palette or a
    // grey ramp for pel_FMT_P8. The file is written beside the target and
    // renamed over it, so a failed save leaves the old file whole. The rows
    // go from the image to the file: no copy of the picture is made.
    // ERR_CREATE or ERR_WRITE with the name (ERR_CREATE too when the little
    // memory the save needs cannot be had); ERR_DATA for an image without
    // pels or in a format of no pel size.
    [[nodiscard]] virtual int SaveBmp(const char* name);
    // The same, only where nothing has the name (a link that leads nowhere
    // counts): ERR_CREATE when something is there or appears meanwhile,
    // which is left as it is.
    [[nodiscard]] int SaveBmpNew(const char* name);
    // SaveBmpNew as the file `fileName` of the folder `folder` (null or ""
    // for the current one), both taken as the system names them, never
    // resolved: '\' and every other byte but '/' are letters of the name.
    // For a name made from a setting or a caption, which must not choose a
    // path. A file name that holds '/', or is empty, "." or "..", is refused
    // (ERR_CREATE, "Invalid argument"). The temporary names add at most
    // imgSaveNameRoom bytes to it: a name of at most imgSaveNameMost bytes
    // has room for every one of them.
    [[nodiscard]] int SaveBmpNewIn(const char* folder, const char* fileName);

    // pelFmt.ColorToPel(colour, pel_FMT_X8R8G8B8).
    [[nodiscard]] uint32_t ColorToPel(uint32_t colour) const;
    void FillRgb(uint32_t colour, const rectTy* rect);
    pelFmtCTy* GetPelFmt() { return &pelFmt; }
    [[nodiscard]] void* GetPalTbl(uint32_t format) { return pelFmt.GetPalTbl(format); }
    // The format record's SetPalette / AttachPalette, then the key pel is
    // re-derived from the key colour when the key is on.
    void SetPalette(const palCTy* pal);
    void AttachPalette(palCTy* pal);
};

// The plain in-memory image: one block of pels, rows top to bottom without
// gaps, in any pel format.
class imgRowCTy : public imgCTy {
public:
    uint32_t extra[4] = { 0, 0, 0, 0 }; // header words kept and written back, no meaning here
    uint8_t* pels = nullptr;
    uint32_t rowPitch = 0; // pels; always the width
    uint8_t ownsPels = 0;

    imgRowCTy() { kind = img_KIND_ROW; }
    // Its own copy of the source's pels.
    imgRowCTy(const imgRowCTy& other);
    imgRowCTy& operator=(const imgRowCTy&) = delete;
    ~imgRowCTy() override;

    const char* GetClassName() const override { return "imgRowCTy"; }
    // The mode is not used. Locking an image without pels leaves it unlocked.
    int32_t Lock(const rectTy* rect, uint32_t mode) override;
    void Unlock() override;
    [[nodiscard]] imgCTy* Clone() override;
    // Releases the pels unless they lie in a stream's buffer.
    void Free() override;
    // Takes the format when given (an owned palette copy), re-derives the
    // key pel, and allocates w x h pels (not cleared). Negative sizes are
    // refused (ERR_BAD_ARG) and leave an empty image.
    void SetSize(int32_t w, int32_t h, const pelFmtCTy* format) override;
    // Pels in place point into the stream's buffer (which must outlive the
    // image); the stream position is left at the first pel.
    [[nodiscard]] int ReadInPlace(rwCTy* stream) override;
    void WriteHeader(rwCTy* stream) override;
    void WriteBody(rwCTy* stream) override;
    [[nodiscard]] int ReadHeader(rwCTy* stream) override;
    [[nodiscard]] int ReadBody(rwCTy* stream) override;
    [[nodiscard]] int ReadBodyInPlace(rwCTy* stream) override;

    // Bytes of the pel block: width x height x pelBytes.
    [[nodiscard]] size_t BodySize() const;
};

// The creator registered under "imgRowCTy": a new empty row image, or null
// when memory runs out.
rwObjCTy* imgRowCreate();

// Registers the creators of the image classes ("imgRowCTy", "imgAlpha",
// "imgRle8CTy") in the class-name registry. An explicit call, made by the
// engine's start-up: a registration from a static initialiser would be
// dropped with its unit when nothing else in a program refers to it.
void imgRegisterClasses();

// ---------------------------------------------------------------------------
// Alpha image: a picture with per-pel alpha kept as runs. Every pel is
// transparent, translucent or opaque; translucent pels store one alpha byte,
// visible pels one colour packed in the colour format (pel_FMT_R8G8B8,
// pel_FMT_X8R8G8B8, pel_FMT_R5G6B5 or pel_FMT_X1R5G5B5). Locked, the image
// is width x height A8R8G8B8 pels, decoded from the runs (modes 0 and 1) and
// encoded again at Unlock (every mode but 1).

// Run words: length in bits 2 to 15, type in bits 0 and 1.
inline constexpr uint32_t alpha_RUN_TRANSPARENT = 0;
inline constexpr uint32_t alpha_RUN_TRANSLUCENT = 1;
inline constexpr uint32_t alpha_RUN_OPAQUE = 2;
inline constexpr uint32_t alpha_RUN_MAX = 16383; // longest run; longer ones are split

class imgAlpha;

// The alpha image's own draws, supplied by the alpha drawing code. While an
// entry is null the image draws through the plain draw entry (imgCTy::DrawEx)
// with its locked A8R8G8B8 pels.
struct imgAlphaDrawsTy {
    void (*draw)(imgAlpha* image, imgCTy* destination, int32_t x, int32_t y, const rectTy* rect) = nullptr;
    void (*drawEx)(imgAlpha* image, imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                   const imgDrawPrmCTy& prm)
        = nullptr;
    void (*drawAlpha)(imgAlpha* image, imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                      float opacity)
        = nullptr;
};
// Installs the draws; yields the ones installed before.
imgAlphaDrawsTy imgAlphaSetDraws(const imgAlphaDrawsTy& draws);

// True for the four colour formats an alpha image stores.
[[nodiscard]] bool imgAlphaColorFmtValid(uint32_t format);

class imgAlpha : public imgCTy {
public:
    // When set, the encoder takes translucent colours back from their blend
    // over the background (the first transparent pel's colour).
    uint32_t unblend = 0;
    uint32_t colorFmt = pel_FMT_R8G8B8;
    uint32_t runCount = 0;
    uint16_t* runs = nullptr;
    uint32_t alphaCount = 0;
    uint8_t* alphas = nullptr;   // one per translucent pel, in raster order
    uint32_t colorCount = 0;
    uint8_t* colors = nullptr;   // one per visible pel, pelSize(colorFmt) bytes each
    rectTy box = { 0, 0, 0, 0 }; // the pels that are not transparent
    uint32_t* lockBuf = nullptr; // the whole picture while locked
    // When set, stored colours are multiplied by their alpha and the alpha
    // byte holds 255 minus the alpha.
    uint32_t premultiplied = 0;

    imgAlpha();
    imgAlpha(const imgAlpha&) = delete;
    imgAlpha& operator=(const imgAlpha&) = delete;
    ~imgAlpha() override;

    const char* GetClassName() const override { return "imgAlpha"; }
    // Always the whole image.
    rectTy* GetLockRect(const rectTy* rect, rectTy* out, uint32_t mode) override;
    // Key on; when the colour changes, pels of the key become transparent.
    uint32_t SetColorKey(uint32_t colour) override;
    // Decodes the whole picture into a new buffer (zeroed for modes 2 and
    // 3); the lock pointer addresses the rectangle's first pel in it.
    int32_t Lock(const rectTy* rect, uint32_t mode) override;
    // Encodes the buffer again unless locked read only; releases it.
    void Unlock() override;
    void Draw(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect) override;
    void DrawEx(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm) override;
    void DrawAlpha(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, float opacity) override;
    // The bounding box of the visible pels.
    rectTy GetRect() override;
    // Alpha images are not cloned: null.
    [[nodiscard]] imgCTy* Clone() override;
    // Releases runs, alpha bytes and colours.
    void Free() override;
    // Stores the size and drops the runs; the runs come from the encoder. A
    // format other than pel_FMT_R8G8B8 or pel_FMT_A8R8G8B8 is reported
    // ("imgAlpha::SetSize: Only pel_FMT_R8G8B8, pel_FMT_A8R8G8B8 available").
    void SetSize(int32_t w, int32_t h, const pelFmtCTy* format) override;
    // The TGA picture as 32-bit pels, encoded with this image's key, flags
    // and colour format.
    [[nodiscard]] int LoadTga(const char* name) override;
    [[nodiscard]] int ReadTga(quarn::io::IStream& stream) override;
    void WriteBody(rwCTy* stream) override;
    [[nodiscard]] int ReadHeader(rwCTy* stream) override;
    // Refuses (ERR_DATA, the image left empty) runs that do not cover the
    // picture exactly, unknown run types and colour formats, counts that do
    // not match the runs, a box outside the picture and, premultiplied, an
    // alpha byte of 255.
    [[nodiscard]] int ReadBody(rwCTy* stream) override;

    // Converts the stored colours to the record's format (one of the four).
    void SetColorFmt(const pelFmtCTy* format);
    // The runs as width x height A8R8G8B8 pels; transparent pels get the key
    // colour's B, G, R and alpha 0.
    void Decode(uint32_t* out) const;
    // Builds the runs, alpha bytes, colours and box from width x height
    // A8R8G8B8 pels.
    void Encode(const uint32_t* pels);

private:
    [[nodiscard]] int ReadBodyChecked(rwCTy* stream);
};

// The creator registered under "imgAlpha".
rwObjCTy* imgAlphaCreate();

// ---------------------------------------------------------------------------
// Image sets: numbered images of any kind from one ".imgs" legacy object
// file, with palettes that several images share. The set owns its images
// and palettes; an image points at its shared palette without owning it.

inline constexpr uint32_t imgs_VERSION_0 = 0xFFFF0000; // each image whole at its offset
inline constexpr uint32_t imgs_VERSION_1 = 0xFFFF0001; // headers in order, bodies at the offsets
inline constexpr uint16_t imgs_NO_PALETTE = 0xFFFF;
inline constexpr size_t imgs_MAX_NAMES = 50;

class imgsCTy {
public:
    int32_t count = 0;
    imgCTy** images = nullptr;
    uint16_t* palIndexes = nullptr; // one per image; null when the file has no palettes
    uint32_t palCount = 0;
    palCTy** palettes = nullptr;
    rwCTy* stream = nullptr; // open only while Load runs

    imgsCTy() = default;
    imgsCTy(const imgsCTy&) = delete;
    imgsCTy& operator=(const imgsCTy&) = delete;
    virtual ~imgsCTy();

    // Image i, or null outside 0..count - 1. Valid until Clear.
    virtual imgCTy* GetImage(int32_t i);
    // Destroys the images (last first), then the palettes.
    virtual void Clear();
    // Reads a set into this empty one. 0, or the negative code reported:
    // the file's own failures (rwRdOpen), an unknown class name, and
    // ERR_DATA for counts the data cannot hold, a class index beyond the
    // name table, more than 50 names, a palette index beyond the palettes,
    // an image left waiting for a shared palette, offsets past the data
    // and any image record its class refuses. A set that fails is cleared.
    // Versions other than the two above read no images.
    [[nodiscard]] int Load(const char* name);
    // Load on the unpacked content of a set file in a stream that is open
    // already (and stays open; the stream field is not used).
    [[nodiscard]] int LoadStream(rwCTy* s);

private:
    [[nodiscard]] int LoadFrom(rwCTy* s);
    [[nodiscard]] int AttachShared(uint32_t i);
};

// ---------------------------------------------------------------------------
// RLE8 image: an 8-bit palettised picture with a transparent key index,
// kept as run-length codes of the rows of its opaque bounding box and
// decoded into a plain 8-bit buffer only while locked.
//
// Row codes, one byte each, read left to right:
//   0x00-0x7F  skip c pels (transparent)
//   0x80-0xBF  literal: the next (c & 63) bytes are the pels
//   0xC0-0xFF  fill: the next byte repeated (c & 63) times

inline constexpr uint32_t rle8_NO_KEY = 257; // a key value that no pel equals
// The largest picture a stream record may describe (width x height): the
// lock decodes the whole of it at once.
inline constexpr int64_t rle8_MAX_PELS = int64_t { 1 } << 28;
// The largest width or height a stream record may give: every row has an
// entry in the row array, whatever the width.
inline constexpr int32_t rle8_MAX_SIDE = 32768;

class imgRle8CTy;

// The RLE8 image's draws, supplied by the drawing code that walks the row
// codes onto a destination, which also refuse palettised destinations. An
// entry left null (or a null destination) makes that draw report
// "imgRle8CTy::<Draw>: This is not impelmetned yet" instead, where
// DrawAlpha's text names Draw.
struct imgRle8DrawsTy {
    void (*draw)(imgRle8CTy* image, imgCTy* destination, int32_t x, int32_t y, const rectTy* rect) = nullptr;
    void (*drawMirrorH)(imgRle8CTy* image, imgCTy* destination, int32_t x, int32_t y, const rectTy* rect) = nullptr;
    void (*drawEx)(imgRle8CTy* image, imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                   const imgDrawPrmCTy& prm)
        = nullptr;
    void (*drawExMirrorH)(imgRle8CTy* image, imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                          const imgDrawPrmCTy& prm)
        = nullptr;
    void (*drawAlpha)(imgRle8CTy* image, imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                      float opacity)
        = nullptr;
};
// Installs the draws; yields the ones installed before.
imgRle8DrawsTy imgRle8SetDraws(const imgRle8DrawsTy& draws);

class imgRle8CTy : public imgCTy {
public:
    uint32_t offsetsInHeader = 1; // 0 only after reading an older stream record
    uint8_t** rows = nullptr;     // rowCount entries; a null row is all key pels
    // The one block every row of the image's own lies in (null while the
    // rows lie in a stream's buffer): one allocation per picture, not per row.
    uint8_t* rowBlock = nullptr;
    rectTy box = { 0, 0, 0, 0 };  // the opaque bounding box
    uint8_t* decodeBuf = nullptr; // width x height bytes while locked
    uint32_t lastOffset = 0;      // the offsets table's last entry, from ReadHeader
    // Entries of `rows`; the box height except between SetSize and the next
    // writing Unlock.
    int32_t rowCount = 0;
    // The offsets read by ReadHeader (box.h of them) for ReadBody; kept
    // apart from `rows` so that rows only ever hold codes.
    uint32_t* headerOffsets = nullptr;

    imgRle8CTy();
    imgRle8CTy(const imgRle8CTy& other);
    imgRle8CTy& operator=(const imgRle8CTy&) = delete;
    ~imgRle8CTy() override;

    const char* GetClassName() const override { return "imgRle8CTy"; }
    // Always the whole image.
    rectTy* GetLockRect(const rectTy* rect, rectTy* out, uint32_t mode) override;
    // Decodes the rows into a new buffer (key pels where no row is). The
    // result is the pitch (the width).
    int32_t Lock(const rectTy* rect, uint32_t mode) override;
    // Unless locked read only, re-encodes the buffer (finding the box anew
    // when keyed); then releases the buffer.
    void Unlock() override;
    void Draw(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect) override;
    void DrawMirrorH(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect) override;
    void DrawExMirrorH(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect,
                       const imgDrawPrmCTy& prm) override;
    void DrawEx(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm) override;
    void DrawAlpha(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, float opacity) override;
    // The box.
    rectTy GetRect() override;
    [[nodiscard]] imgCTy* Clone() override;
    // Releases the rows (unless they lie in a stream's buffer) and the row
    // array. The box stays.
    void Free() override;
    // A format other than pel_FMT_P8 is reported ("Unsupported pel's
    // format") and the size still set. Makes an array of h null rows; the
    // picture is then written through Lock / Unlock. A size that
    // imgBlockSize refuses at one byte a pel is reported (ERR_NO_MEMORY)
    // and leaves the image 0 x 0.
    void SetSize(int32_t w, int32_t h, const pelFmtCTy* format) override;
    [[nodiscard]] int ReadInPlace(rwCTy* stream) override;
    void WriteHeader(rwCTy* stream) override;
    void WriteBody(rwCTy* stream) override;
    // Rows whose codes do not cover the box width inside their own bytes,
    // a box outside the image, a pel format other than pel_FMT_P8, a zero
    // width or height, a side over rle8_MAX_SIDE, a picture of more than
    // rle8_MAX_PELS and offsets that go backwards or past the data are
    // refused with ERR_DATA; the image is then left empty.
    [[nodiscard]] int ReadHeader(rwCTy* stream) override;
    [[nodiscard]] int ReadBody(rwCTy* stream) override;
    // Rows point into the stream's buffer, which must outlive the image.
    [[nodiscard]] int ReadBodyInPlace(rwCTy* stream) override;
};

// The creator registered under "imgRle8CTy".
rwObjCTy* imgRle8Create();

// Codes for n pels, key value 0..255 or rle8_NO_KEY; a new block (memAlloc)
// and its byte count, or null when every pel is the key.
[[nodiscard]] uint8_t* rle8EncodeRow(const uint8_t* pels, int32_t n, uint32_t key, uint32_t* outSize);
// Writes the pels of columns x0 .. x0 + w - 1 to rowBase[column]; skipped
// pels are left as they are. The codes must cover x0 + w pels.
void rle8DecodeRow(const uint8_t* codes, int32_t x0, int32_t w, uint8_t* rowBase);
// Passes over n pels. `pos` is just past the current code `*code`; yields
// the position after the new current code, which is rewritten to its rest
// when the n-th pel falls inside it (a literal's position then addresses
// its first unskipped pel, a fill's its value).
const uint8_t* rle8SkipPixels(const uint8_t* pos, int32_t n, uint8_t* code);
// Bytes of the whole codes of row r that cover the box width.
[[nodiscard]] uint32_t rle8RowLength(const imgRle8CTy* image, int32_t r);
// The smallest rectangle holding every byte other than `key`; {0, 0, 0, 0}
// when there is none.
[[nodiscard]] rectTy rle8FindOpaqueBox(const uint8_t* pels, int32_t pitch, int32_t w, int32_t h, uint8_t key);
// True when `size` bytes of codes cover w pels, every literal and fill
// inside the bytes.
[[nodiscard]] bool rle8RowCovers(const uint8_t* codes, size_t size, int32_t w);

// ---------------------------------------------------------------------------
// Screen pixel layout, for code that packs screen pels itself. It starts as
// 16-bit 5:6:5; the display device sets it from the primary surface after
// every mode set. Masks are 32-bit so that 24- and 32-bit screens fit.

struct gScrFmtTy {
    uint32_t bits = 16;
    uint32_t bytes = 2; // (bits + 7) / 8
    uint32_t redMask = 0xF800, greenMask = 0x07E0, blueMask = 0x001F;
    uint32_t redShift = 11, greenShift = 5, blueShift = 0;  // lowest bit of each field
    uint32_t redLoss = 3, greenLoss = 2, blueLoss = 3;      // low bits an 8-bit channel loses
    uint32_t redMax = 31, greenMax = 63, blueMax = 31;      // mask >> shift
};
extern gScrFmtTy gScrFmt;

// Sets gScrFmt from the bits per pel and the three masks (shifts, losses
// and maxima derived; a channel wider than 8 bits loses nothing).
void gScrFmtSet(uint32_t bits, uint32_t redMask, uint32_t greenMask, uint32_t blueMask);
// Packs 0x00BBGGRR (red in the low byte) into a pel of gScrFmt.
[[nodiscard]] uint32_t gRgbToScr(uint32_t colour);

// ---------------------------------------------------------------------------
// 8-bit sprite-set file: a 256-colour palette and frames of palette indexes
// coded as RLE8 rows, each with a hot spot. Little-endian:
//   0     16 bytes not read
//   16    256 x {red, green, blue, unused}
//   1040  12 bytes not read
//   1052  u32 frame offsets from the file's start (the count is not stored)
// Frame: u32 words 0, 1; i32 hot x, hot y; u32 width, height; words 6 to
// 11 not read; height u32 row offsets from the start of the row data; the
// row data.

inline constexpr size_t spr_FILE_HEADER = 1052;
inline constexpr size_t spr_FRAME_HEADER = 48;

struct sprFileCTy {
    uint8_t header[spr_FILE_HEADER]; // as read
    uint16_t* palette;               // 256 screen pels
    uint32_t ownsPal;                // 1: freed by sprFileClose
    fileTy* view;                    // the whole file
    const uint8_t* offsets;          // byte 1052 of the view
};

// One frame, pointing into its file's view (valid until sprFileClose).
struct sprFrameTy {
    uint32_t words[12];      // the frame's header words as stored
    int32_t hotX, hotY;
    int32_t width, height;
    const uint16_t* palette; // the file's converted palette
    const uint8_t* rowOffsets; // height u32, from rowData
    const uint8_t* rowData;
};

// Null when the file cannot be read (ERR_OPEN, reported with the name) or
// is shorter than its header (ERR_DATA).
[[nodiscard]] sprFileCTy* sprFileOpen(const char* name);
// 0, or ERR_DATA (reported) when the index has no entry in the file, or
// the frame, its row table or any of its rows (codes covering the width)
// does not lie inside the file; *out is then left as it was.
[[nodiscard]] int sprFileGetFrame(const sprFileCTy* file, uint32_t index, sprFrameTy* out);
// The codes of row r of a frame from sprFileGetFrame.
[[nodiscard]] const uint8_t* sprFrameRow(const sprFrameTy* frame, int32_t r);
void sprFileClose(sprFileCTy* file);
// A new block of 256 screen pels (gRgbToScr) from 256 entries of {red,
// green, blue, unused}; null when memory runs out (reported).
[[nodiscard]] uint16_t* sprFilePalTo16(const uint8_t* entries);

// A picture-bank item: a block of pels (from memAlloc), owned by the item
// when `owner` is set. Items come from memAlloc too.
struct scrPictureTy {
    uint32_t owner;
    void* pels;
};
// Frees the item's pels when it owns them, then the item; null is ignored.
void scrFreePicture(scrPictureTy* item);

// ---------------------------------------------------------------------------
// Sprites, the sprite list, bitmap fonts and text sprites.
#include "engine/gfx/spr.h"
#include "engine/gfx/fnt.h"

// ---------------------------------------------------------------------------
// The display device, its surfaces, the screen format's set-up and the
// frame-rate overlay.
#include "engine/gfx/display.h"
