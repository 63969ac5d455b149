// Bitmap fonts and text sprites: part of the engine/gfx interface,
// included by gfx.h (include that header, not this one).
//
// A font is a description file "<name>.fda" holding the box of each of 256
// characters inside a glyph picture "<name>.fnt" or "<name>.bmp" (BMP) or
// "<name>.tga". Loading repacks the glyphs into a compact atlas whose pel
// at (0, 0) is the transparent colour. Loaded fonts are shared by name
// (without regard to case) with a reference count.
#pragma once

#include "engine/gfx/gfx.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The ".fda" file, exactly fnt_FILE_SIZE bytes, little-endian:
//   0     u32 magic fnt_MAGIC (the bytes "fnt" and 1)
//   4     u32 reference character (0 to 255)
//   8     i32 spacing, added after every character
//   12    i32 space width, the advance of ' '
//   16    i32 height of the text
//   20    u32 reserved
//   24    u32 unused
//   28    256 x {i32 x, y, w, h}: each character's box in the glyph picture
//   4124  u32 unused
inline constexpr uint32_t fnt_MAGIC = 0x01746E66;
inline constexpr size_t fnt_FILE_SIZE = 4128;
inline constexpr size_t fnt_BOXES_OFFSET = 28;
// Names and texts are formatted into buffers of this many bytes.
inline constexpr size_t fnt_TEXT_SIZE = 256;

// The fields of the file that are read.
struct fntFileTy {
    uint32_t magic = 0;
    uint32_t refChar = 0;
    int32_t spacing = 0;
    int32_t spaceWidth = 0;
    int32_t height = 0;
    uint32_t reserved = 0;
    rectTy boxes[256] = {};
};

// A loaded font: the file's fields with the boxes moved to the atlas, and
// the atlas, owned.
struct fntCTy {
    fntFileTy rec;
    std::unique_ptr<imgCTy> atlas;
};

// The file's fields from `size` bytes: 0, or ERR_DATA (not reported) for
// fewer than fnt_FILE_SIZE bytes, a wrong magic, a reference character
// above 255, or a spacing, space width or height beyond img_MAX_SIDE
// either way.
[[nodiscard]] int fntParse(const uint8_t* bytes, size_t size, fntFileTy* out);
// Packs the glyphs that `rec` places in `picture` into `atlas` (sized and
// filled here, keyed by its pel at (0, 0)) and moves the boxes to it: 0, or
// ERR_DATA (not reported) when a box lies outside the picture or the atlas
// would be too large. The atlas width is a power of two from 64 up, doubled
// until the glyphs' rows are at most four widths high.
[[nodiscard]] int fntPack(fntFileTy* rec, imgCTy* picture, imgCTy* atlas);

// Reads "<name>.fda" and its glyph picture; null after a report naming the
// file when either is missing or damaged.
[[nodiscard]] fntCTy* fntLoad(const char* name);
void fntFree(fntCTy* font);

// The list of loaded fonts, created by fntListInit (or by the first
// fntGet) and emptied by fntListDone, which frees every font in it that
// nobody holds; a font still held lives on until its last fntRelease.
void fntListInit();
void fntListDone();
// The font of the formatted name (cut to 255 characters): the listed one
// (one more reference) or a newly loaded one; null when it does not load,
// reported by the first asking only: the list keeps the name until it ends.
[[nodiscard]] fntCTy* fntGet(const char* format, ...);
// One reference less; the last frees the font. Null or unlisted fonts:
// nothing.
void fntRelease(fntCTy* font);
// The reference count of a listed font, 0 for any other.
[[nodiscard]] uint32_t fntRefCount(const fntCTy* font);

// The advance of a character: the space width for ' ', 1 for TAB, else the
// glyph's width plus one (held inside the atlas).
[[nodiscard]] int32_t fntCharWidth(const fntCTy* font, uint8_t c);
[[nodiscard]] int32_t fntGlyphHeight(const fntCTy* font, uint8_t c);
// The sum of advance + spacing over the characters, minus one spacing; 0
// for a null font or text or an empty text.
[[nodiscard]] int32_t fntTextWidth(const fntCTy* font, const char* text);
// Draws the part of the text inside `clip` (text coordinates: 0 is the
// text's left edge and top) with its left and top edges at (x, y) of dst,
// with per-pel alpha where the atlas has it (op 14).
void fntDrawText(const fntCTy* font, const char* text, int32_t x, int32_t y, const rectTy* clip, imgCTy* dst);
void fntDrawTextEx(const fntCTy* font, const char* text, int32_t x, int32_t y, const rectTy* clip, imgCTy* dst,
                   const imgDrawPrmCTy& prm);

// Text alignments of sprDfStrCTy: where the position lies on the text.
inline constexpr uint32_t spr_ALIGN_LEFT = 0;
inline constexpr uint32_t spr_ALIGN_CENTER = 1;
inline constexpr uint32_t spr_ALIGN_RIGHT = 2;

// A sprite showing one line of text in a bitmap font.
class sprDfStrCTy : public sprCTy {
public:
    uint32_t align = spr_ALIGN_CENTER;
    uint32_t fontIndex = 0; // the font used; no operation changes it
    int32_t textW = 0, textH = 0;
    int32_t anchorX = 0, anchorY = 0; // the text's left/top edge is this far left of/above the position
    std::string text;
    bool hasText = false;
    std::vector<fntCTy*> fonts; // one reference each; null for a font that did not load
    std::vector<std::string> fontNames;

    sprDfStrCTy() = default;
    ~sprDfStrCTy() override;

    // Adds the font of that name (fntGet); yields its index.
    uint32_t AddFont(const char* name);
    // Sets the text (formatted, cut to 255 characters) and marks the old and
    // the new area.
    void Printf(const char* format, ...);
    void SetAlign(uint32_t a);
    // Measures the text in the current font: width (text width plus one
    // spacing, held to the 32-bit range), height and anchor. Without text
    // or font the width is 0.
    void Layout();
    rectTy GetRect() override;
    void Draw() override;

    [[nodiscard]] const fntCTy* Font() const { return fontIndex < fonts.size() ? fonts[fontIndex] : nullptr; }
};
