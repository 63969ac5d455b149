// Image sets: numbered images of any kind read from one ".imgs" legacy
// object file, with palettes that several images share.
//
// Content after unpacking (little-endian):
//   u32 version (above 0xFFFF0000) then u32 image count N, or just N (the
//       version is then 0xFFFF0000)
//   u32 palette count P, then P palette records
//   when P > 0: N u16 palette indexes (0xFFFF: none)
//   N u32 offsets of the images' data
//   class names: u32 length and bytes each, ended by 0xFFFFFFFF (at most 50)
//   version 0xFFFF0001: per image a u32 class index and its header, then
//       each body at its offset; version 0xFFFF0000: at each offset a u32
//       class index and the whole image.
#include "engine/gfx/gfx_internal.h"

#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// The smallest palette record: its u32 count.
constexpr size_t smallest_palette = 4;

} // namespace

imgsCTy::~imgsCTy() { Clear(); }

imgCTy* imgsCTy::GetImage(int32_t i) { return i >= 0 && i < count && images ? images[i] : nullptr; }

void imgsCTy::Clear()
{
    if (stream)
        rwClose(stream);
    stream = nullptr;
    // Images first: they point at the shared palettes without owning them.
    for (int32_t i = count - 1; images && i >= 0; --i)
        delete images[i];
    memFree(images);
    memFree(palIndexes);
    for (uint32_t i = 0; palettes && i < palCount; ++i)
        delete palettes[i];
    memFree(palettes);
    images = nullptr;
    palIndexes = nullptr;
    palettes = nullptr;
    count = 0;
    palCount = 0;
}

int imgsCTy::Load(const char* name)
{
    const errReadingFile reading(name); // also for the unpacking in rwRdOpen
    stream = rwRdOpen(name); // reports its own failures
    if (!stream)
        return ERR_OPEN;
    // The field holds the stream while reading, so that a report that
    // unwinds to a TRY frame leaves it for Clear to close.
    const int rc = LoadFrom(stream);
    rwClose(stream);
    stream = nullptr;
    if (rc < 0)
        Clear(); // a set is loaded whole or not at all
    return rc;
}

int imgsCTy::LoadStream(rwCTy* s)
{
    const int rc = LoadFrom(s);
    if (rc < 0)
        Clear(); // a set is loaded whole or not at all
    return rc;
}

int imgsCTy::LoadFrom(rwCTy* s)
{
    uint32_t first = 0, n = 0, version = imgs_VERSION_0, p = 0;
    if (const int rc = gfxReadU32(s, &first))
        return rc;
    n = first;
    if (first > imgs_VERSION_0) {
        version = first;
        if (const int rc = gfxReadU32(s, &n))
            return rc;
    }
    if (const int rc = gfxReadU32(s, &p))
        return rc;
    // Counts are checked against what the data can hold before anything is
    // allocated for them: a palette takes at least 4 bytes, an image its
    // 4-byte offset.
    if (uint64_t { p } * smallest_palette > gfxStreamLeft(s) || uint64_t { n } * 4 > gfxStreamLeft(s)
        || n > uint32_t(INT32_MAX))
        return gfxReportDataError();

    if (p) {
        palettes = static_cast<palCTy**>(memAllocZ(size_t { p } * sizeof(palCTy*)));
        if (!palettes)
            return ERR_NO_MEMORY;
        palCount = p;
        for (uint32_t i = 0; i < p; ++i) {
            palettes[i] = new (std::nothrow) palCTy;
            if (!palettes[i])
                return dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
            if (const int rc = palettes[i]->Read(s))
                return rc;
        }
        palIndexes = static_cast<uint16_t*>(memAllocZ(size_t { n } * 2 + 2));
        if (!palIndexes)
            return ERR_NO_MEMORY;
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t b[2];
            if (const int rc = rwRead(s, b, 2); rc < 0)
                return rc;
            palIndexes[i] = static_cast<uint16_t>(b[0] | b[1] << 8);
            if (palIndexes[i] != imgs_NO_PALETTE && palIndexes[i] >= p)
                return gfxReportDataError();
        }
    }

    std::vector<uint32_t> offsets(n);
    for (uint32_t& offset : offsets)
        if (const int rc = gfxReadU32(s, &offset))
            return rc;

    std::vector<std::string> names;
    for (;;) {
        uint32_t length = 0;
        if (const int rc = gfxReadU32(s, &length))
            return rc;
        if (length == RW_NULL_STRING)
            break;
        if (names.size() == imgs_MAX_NAMES || length > gfxStreamLeft(s))
            return gfxReportDataError();
        std::string text(length, '\0');
        if (const int rc = rwRead(s, text.data(), length); rc < 0)
            return rc;
        names.push_back(text.c_str()); // up to a NUL, as the registry compares
    }

    if (version != imgs_VERSION_0 && version != imgs_VERSION_1)
        return 0; // no images in sets of other versions
    images = static_cast<imgCTy**>(memAllocZ(size_t { n } * sizeof(imgCTy*) + sizeof(imgCTy*)));
    if (!images)
        return ERR_NO_MEMORY;
    count = static_cast<int32_t>(n);

    for (uint32_t i = 0; i < n; ++i) {
        if (version == imgs_VERSION_0) {
            if (offsets[i] > s->length)
                return gfxReportDataError();
            rwSeek(s, offsets[i]);
        }
        uint32_t classIndex = 0;
        if (const int rc = gfxReadU32(s, &classIndex))
            return rc;
        if (classIndex >= names.size())
            return gfxReportDataError();
        rwObjCTy* made = rwObjCreateByClassName(names[classIndex].c_str()); // reports an unknown name
        if (!made)
            return ERR_DATA;
        images[i] = dynamic_cast<imgCTy*>(made);
        if (!images[i]) {
            delete made; // a registered class that is no image
            return gfxReportDataError();
        }
        if (const int rc = images[i]->ReadHeader(s))
            return rc;
        if (version == imgs_VERSION_0) {
            if (const int rc = images[i]->ReadBody(s))
                return rc;
        }
        if (const int rc = AttachShared(i))
            return rc;
    }
    if (version == imgs_VERSION_1) {
        for (uint32_t i = 0; i < n; ++i) {
            if (offsets[i] > s->length)
                return gfxReportDataError();
            rwSeek(s, offsets[i]);
            if (const int rc = images[i]->ReadBody(s))
                return rc;
        }
    }
    return 0;
}

int imgsCTy::AttachShared(uint32_t i)
{
    imgCTy* image = images[i];
    if (palIndexes && palIndexes[i] != imgs_NO_PALETTE)
        image->AttachPalette(palettes[palIndexes[i]]);
    // A header that waits for a shared palette must get one from the set.
    if (image->pelFmt.palette == palSharedPlaceholder())
        return gfxReportDataError();
    return 0;
}
