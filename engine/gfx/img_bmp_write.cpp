// Writing BMP pictures (SaveBmp, SaveBmpNew): the file is written beside
// the target, its rows straight from the locked image, and then given the
// target's name.
#include "engine/gfx/gfx_internal.h"

#include "platform/file.h"
#include "platform/folder.h"
#include "platform/path_resolve.h"
#include "platform/process.h"
#include "platform/trust.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <string>

namespace {

void put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

constexpr size_t head_size = 54; // file header and BITMAPINFOHEADER

// Temporary names tried beside one target before the save gives up: each
// one taken is the leftover of a save cut off at that name, or something
// put there by hand.
constexpr int temporary_names = 100;

// Writes a file's bytes to an open file: 0, or the error number.
using FileBytesTy = std::function<int(platform::FileHandle)>;

// Writes the bytes `write` gives to a file beside `name`, then gives it the
// name: over what is there, or (replace false) only while the name is free.
// A failed or cut-short write must not leave half a picture where the old
// one was.
int write_beside(const FileBytesTy& write, const char* name, bool replace)
{
    const std::string target = platform::resolve_path(name ? name : "");
    // The folder is opened once, every name on the way judged; the
    // temporary file, the rename and the clean-up all happen inside it.
    const auto [folder_path, file_name] = platform::split_folder_path(target);
    const platform::OpenFolder opened(folder_path, platform::FolderFor::writing);
    const platform::FolderHandle folder = opened.handle;
    if (folder == platform::invalid_folder)
        return gfxReportFileFailure(ERR_CREATE, name, platform::last_error());
    // The rename would make what has the name the player's: anyone else's
    // file or link is theirs to keep, as a settings file is.
    platform::NameStatus there;
    if (replace && platform::folder_name_status(folder, file_name.c_str(), there) &&
        !platform::may_use(folder, file_name.c_str(), there, platform::NameUse::replace, target))
        return gfxReportFileFailure(ERR_CREATE, name, platform::last_error());
    // The temporary file is made anew and never opened through a link,
    // which would have the picture written where the link leads. A name
    // that is taken is passed over, so a leftover of a crashed save blocks
    // nothing. (A structured binding is captured by an init-capture: C++20
    // lets a lambda name one directly, clang before 16 does not.)
    const auto temporary_name = [&final_name = file_name](int n) {
        std::string temporary = final_name;
        if (n > 0)
            temporary.append(".").append(std::to_string(n));
        return temporary.append(".tmp~");
    };
    std::string temporary;
    const platform::FileHandle file =
        platform::folder_create_first_free(folder, temporary_name, temporary_names, false,
                                           target.substr(0, target.size() - file_name.size()), temporary);
    int error = 0;
    int code = ERR_WRITE;
    if (file == platform::invalid_file) {
        error = platform::last_error();
        code = ERR_CREATE;
    } else {
        const platform::MadeFile made = platform::made_file(file);
        error = write(file);
        if (!platform::file_close(file) && error == 0)
            error = platform::last_error();
        if (error == 0 && !(replace ? platform::folder_rename(folder, temporary.c_str(), file_name.c_str())
                                    : platform::folder_rename_new(folder, temporary.c_str(), file_name.c_str()))) {
            error = platform::last_error();
            code = ERR_CREATE;
        }
        if (error != 0)
            (void)platform::folder_remove_made(folder, temporary.c_str(), made);
    }
    return error == 0 ? 0 : gfxReportFileFailure(code, name, error);
}

// The parts of the BMP file SaveBmp writes: the head (file and information
// headers, the masks and the palette) built whole, and the rows' layout.
struct BmpLayout {
    uint8_t head[head_size + 12 + 4 * 256] = {};
    size_t headSize = 0;
    size_t rowBytes = 0; // of pels; the rest of a row is zero
    size_t rowSize = 0;
    size_t fileSize = 0;
    uint32_t bpp = 0;
};

// False for an image without size or in a format of no pel size.
bool bmp_layout(const imgCTy* image, BmpLayout& out)
{
    const uint32_t format = image->pelFmt.format;
    const uint32_t bpp = pelSize(format);
    size_t pelTotal = 0;
    if (format == 0 || bpp == 0 || image->width <= 0 || image->height <= 0
        || !imgBlockSize(image->width, image->height, bpp, &pelTotal))
        return false;

    const bool bitFields = format == pel_FMT_R5G6B5 || format == pel_FMT_X8R8G8B8;
    const palCTy* pal = image->pelFmt.palette;
    uint32_t colours = 0;
    if (format == pel_FMT_P8)
        colours = pal && pal->count ? std::min<uint32_t>(pal->count, 256) : 256;
    out.bpp = bpp;
    out.rowBytes = size_t(image->width) * bpp;
    out.rowSize = (out.rowBytes + 3) & ~size_t { 3 };
    const size_t imageSize = out.rowSize * size_t(image->height);
    out.headSize = head_size + (bitFields ? 12 : 0) + 4 * size_t { colours };
    out.fileSize = out.headSize + imageSize;

    uint8_t* h = out.head;
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, static_cast<uint32_t>(out.fileSize));
    put32(h + 10, static_cast<uint32_t>(out.headSize));
    put32(h + 14, 40);
    put32(h + 18, static_cast<uint32_t>(image->width));
    put32(h + 22, static_cast<uint32_t>(image->height)); // positive: rows bottom-up
    put16(h + 26, 1);
    put16(h + 28, 8 * bpp);
    put32(h + 30, bitFields ? BMP_BI_BITFIELDS : BMP_BI_RGB);
    put32(h + 34, static_cast<uint32_t>(imageSize));
    put32(h + 46, colours);
    uint8_t* p = h + head_size;
    if (bitFields) {
        const bool is565 = format == pel_FMT_R5G6B5;
        put32(p, is565 ? 0xF800 : 0xFF0000);
        put32(p + 4, is565 ? 0x07E0 : 0xFF00);
        put32(p + 8, is565 ? 0x001F : 0xFF);
        p += 12;
    }
    for (uint32_t i = 0; i < colours; ++i, p += 4) {
        // B, G, R and a zero byte; without a palette a grey ramp.
        const uint32_t c = pal && pal->count ? pal->entries[i] & 0x00FFFFFF : i * 0x010101u;
        put32(p, c);
    }
    return true;
}

// Hands the file's bytes to `put` in order, the rows from the locked image
// bottom-up: put's first error, or 0. Rows are gathered in `chunk`, so a
// small picture costs a few writes and a large one needs no copy of its
// own; a row longer than the chunk goes on its own.
template <class Put>
int bmp_put(const imgCTy* locked, const BmpLayout& layout, std::vector<uint8_t>& chunk, const Put& put)
{
    const auto* pels = static_cast<const uint8_t*>(locked->lockPtr);
    const size_t pitchBytes = size_t(locked->pitch) * layout.bpp;
    const size_t padding = layout.rowSize - layout.rowBytes;
    const uint8_t zeros[4] = {};
    size_t used = 0;
    const auto flush = [&] {
        const int error = used ? put(chunk.data(), used) : 0;
        used = 0;
        return error;
    };
    int error = put(layout.head, layout.headSize);
    for (int32_t y = locked->height - 1; y >= 0 && error == 0; --y) {
        const uint8_t* row = pels + size_t(y) * pitchBytes;
        if (layout.rowSize > chunk.size()) {
            error = flush();
            if (error == 0)
                error = put(row, layout.rowBytes);
            if (error == 0 && padding)
                error = put(zeros, padding);
            continue;
        }
        if (chunk.size() - used < layout.rowSize)
            error = flush();
        std::memcpy(chunk.data() + used, row, layout.rowBytes);
        std::memset(chunk.data() + used + layout.rowBytes, 0, padding);
        used += layout.rowSize;
    }
    return error == 0 ? flush() : error;
}

// The chunk the rows are gathered in: enough for many rows of a screen.
constexpr size_t chunk_bytes = size_t { 64 } << 10;

// SaveBmp and SaveBmpNew. The picture is not copied: only the head and a
// chunk of rows are held beside it, so that a screen-sized save needs
// little memory of its own. What memory it does need and cannot have fails
// this save alone, reported with the name.
int save_bmp(imgCTy* image, const char* name, bool replace)
{
    BmpLayout layout;
    if (!bmp_layout(image, layout))
        return gfxReportDataError();
    int result = 0;
    image->Lock(nullptr, img_LOCK_READ);
    try {
        if (!image->lockPtr) {
            result = gfxReportDataError();
        } else {
            std::vector<uint8_t> chunk(std::min(chunk_bytes, layout.fileSize));
            result = write_beside(
                [&](platform::FileHandle file) {
                    return bmp_put(image, layout, chunk, [file](const uint8_t* data, size_t size) {
                        return platform::file_write_all(file, data, size);
                    });
                },
                name, replace);
        }
    } catch (const std::bad_alloc&) {
        result = gfxReportFileFailure(ERR_CREATE, name, ENOMEM);
    }
    image->Unlock();
    return result;
}

} // namespace

int imgBmpBytes(imgCTy* image, std::vector<uint8_t>& out)
{
    out.clear();
    BmpLayout layout;
    if (!bmp_layout(image, layout))
        return ERR_DATA;
    image->Lock(nullptr, img_LOCK_READ);
    if (!image->lockPtr) {
        image->Unlock();
        return ERR_DATA;
    }
    out.reserve(layout.fileSize);
    std::vector<uint8_t> chunk(std::min(chunk_bytes, layout.fileSize));
    (void)bmp_put(image, layout, chunk, [&out](const uint8_t* data, size_t size) {
        out.insert(out.end(), data, data + size);
        return 0;
    });
    image->Unlock();
    return 0;
}

int imgCTy::SaveBmp(const char* name) { return save_bmp(this, name, true); }

int imgCTy::SaveBmpNew(const char* name) { return save_bmp(this, name, false); }
