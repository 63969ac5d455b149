// DIB blocks: creation, colour tables, and loading rectangles of BMP files.
#include "engine/base/dib_internal.h"
#include "engine/base/file_internal.h"

#include <climits>
#include <cstring>

namespace {

constexpr size_t file_header_size = 14; // "BM", size, 2 reserved words, offset of the bits

uint32_t u32_at(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t { p[3] } << 24); }

bool valid_depth(unsigned bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

size_t stride_for(int64_t width, unsigned bits) { return static_cast<size_t>((width * bits + 31) / 32 * 4); }

// BITMAPFILEHEADER then BITMAPINFOHEADER (Windows DIB format). Every field
// that sizes a later read is checked against the bytes the file has.
int parse(const uint8_t* data, size_t length, bmpInfoTy*& header, const uint8_t*& bits)
{
    if (length < file_header_size + sizeof(bmpInfoTy) || data[0] != 'B' || data[1] != 'M')
        return ERR_DATA;
    bmpInfoTy h;
    std::memcpy(&h, data + file_header_size, sizeof(h));
    if (h.biSize != sizeof(bmpInfoTy) || h.biWidth < 1 || h.biHeight == 0 || h.biHeight == INT32_MIN
        || !valid_depth(h.biBitCount))
        return ERR_DATA;
    // RLE rows are no plain rows; bit fields come with 16 and 32 bits only.
    if (h.biCompression != BMP_BI_RGB
        && !(h.biCompression == BMP_BI_BITFIELDS && (h.biBitCount == 16 || h.biBitCount == 32)))
        return ERR_DATA;
    if (bmpPalColors(&h) > 256)
        return ERR_DATA;
    const size_t header_end = file_header_size + sizeof(bmpInfoTy);
    const uint32_t declared = u32_at(data + 10);
    // A palettised file whose rows start (by the file header) inside the
    // colour table its colour count implies holds a shorter table: common
    // with a colour count of 0, and read by every viewer. The table is what
    // fits before the rows.
    if (h.biBitCount <= 8 && declared >= header_end && declared < header_end + bmpPalSize(&h)
        && declared <= length) {
        h.biClrUsed = (declared - header_end) / 4;
        if (h.biClrUsed == 0)
            return ERR_DATA;
    }
    const size_t table = bmpPalSize(&h);
    const size_t table_end = header_end + table;
    // Bit-field masks must each be set and must not share bits.
    if (h.biCompression == BMP_BI_BITFIELDS) {
        if (length < header_end + 12)
            return ERR_DATA;
        const uint32_t r = u32_at(data + header_end), g = u32_at(data + header_end + 4),
                       b = u32_at(data + header_end + 8);
        if (!r || !g || !b || (r & g) || (r & b) || (g & b))
            return ERR_DATA;
    }
    // The rows stand where the file header says when that is after the
    // colour table; files with a gap there exist and would show garbage.
    size_t offset = table_end;
    if (declared > table_end && declared <= length)
        offset = declared;
    const uint64_t row_bytes = stride_for(h.biWidth, h.biBitCount);
    const uint64_t rows = static_cast<uint64_t>(h.biHeight < 0 ? -int64_t { h.biHeight } : h.biHeight);
    if (offset > length || table_end > length || row_bytes * rows > length - offset)
        return ERR_DATA;

    // An aligned copy of header and table; the pixels are read in place.
    header = static_cast<bmpInfoTy*>(memHooks.alloc(sizeof(bmpInfoTy) + table)); // reported by the caller
    if (!header)
        return ERR_NO_MEMORY;
    std::memcpy(header, &h, sizeof(bmpInfoTy)); // with the colour count as read
    std::memcpy(header + 1, data + header_end, table);
    bits = data + offset;
    return 0;
}

} // namespace

uint32_t bmpPalColors(const bmpInfoTy* info)
{
    if (info->biClrUsed != 0)
        return info->biClrUsed;
    return info->biBitCount >= 1 && info->biBitCount <= 8 ? 1u << info->biBitCount : 0;
}

size_t bmpPalSize(const bmpInfoTy* info)
{
    if (info->biClrUsed != 0)
        return size_t { 4 } * info->biClrUsed;
    if (info->biBitCount >= 1 && info->biBitCount <= 8)
        return size_t { 4 } << info->biBitCount;
    return info->biCompression == BMP_BI_BITFIELDS ? 12 : 0;
}

uint8_t* bmpBits(bmpInfoTy* info) { return reinterpret_cast<uint8_t*>(info) + sizeof(bmpInfoTy) + bmpPalSize(info); }

const uint8_t* bmpBits(const bmpInfoTy* info)
{
    return reinterpret_cast<const uint8_t*>(info) + sizeof(bmpInfoTy) + bmpPalSize(info);
}

size_t bmpStride(const bmpInfoTy* info) { return stride_for(info->biWidth, info->biBitCount); }

bmpInfoTy* bmpInfoCreate(int width, int height, int bitCount, int colours, int withBits)
{
    if (width < 1 || height == 0 || height == INT_MIN || bitCount < 1
        || !valid_depth(static_cast<unsigned>(bitCount))) {
        dbgBreakOnRetry(errReport(ERR_BAD_ARG));
        return nullptr;
    }
    if (colours < 0 || colours > 256)
        colours = 0;
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -int64_t { height } : height);
    const uint64_t image = stride_for(width, static_cast<unsigned>(bitCount)) * rows;
    if (image > UINT32_MAX) {
        dbgBreakOnRetry(errReport(ERR_BAD_ARG));
        return nullptr;
    }
    bmpInfoTy h {};
    h.biSize = sizeof(bmpInfoTy);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(bitCount);
    h.biCompression = BMP_BI_RGB;
    h.biSizeImage = static_cast<uint32_t>(image);
    h.biClrUsed = bitCount < 16 ? static_cast<uint32_t>(colours) : 0;
    const bool masks = colours == 3 && (bitCount == 16 || bitCount == 32);
    if (masks)
        h.biCompression = BMP_BI_BITFIELDS;
    // The table is sized as bmpPalSize will read it: with 0 colours and up
    // to 8 bits that is the full 2^bits entries, so the bits that follow
    // stay inside the block.
    const size_t table = bmpPalSize(&h);
    const size_t total = sizeof(bmpInfoTy) + table + (withBits ? static_cast<size_t>(image) : 0);
    auto* info = reinterpret_cast<bmpInfoTy*>(memAllocStr(total));
    if (!info)
        return nullptr;
    std::memset(info, 0, total);
    *info = h;
    if (masks) {
        const uint32_t m[3] = { bitCount == 16 ? 0xF800u : 0xFF0000u, bitCount == 16 ? 0x07E0u : 0xFF00u,
            bitCount == 16 ? 0x001Fu : 0xFFu };
        std::memcpy(info + 1, m, sizeof(m));
    }
    return info;
}

bmpInfoTy* bmpLoadBytes(const uint8_t* data, size_t length, int x, int y, int width, int height)
{
    bmpInfoTy* header = nullptr;
    const uint8_t* bits = nullptr;
    bmpInfoTy* result = nullptr;
    int code = data ? parse(data, length, header, bits) : ERR_DATA;
    if (code == 0)
        code = errTry([&] { result = dibCopy(nullptr, nullptr, header, bits, x, y, width, height, 0, 0); });
    memFree(header);
    if (code != 0) {
        memFree(result);
        dbgBreakOnRetry(errReport(code));
        return nullptr;
    }
    return result;
}

bmpInfoTy* bmpLoad(const char* name, int x, int y, int width, int height)
{
    fileTy* file = fileLoad(nullptr, name);
    if (!file)
        return nullptr;
    // Closed on every way out: the report of a bad file may unwind.
    struct Closer {
        fileTy* f;
        ~Closer() { fileClose(f, 0); }
    } closer{file};
    return bmpLoadBytes(file->view, file->length, x, y, width, height);
}
