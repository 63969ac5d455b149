// Writing BMP pictures (SaveBmp, SaveBmpNew): the whole file is built in
// memory, then written beside the target and given the target's name.
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

// Writes `bytes` to a file beside `name`, then gives it the name: over what
// is there, or (replace false) only while the name is free. A failed or
// cut-short write must not leave half a picture where the old one was.
int write_beside(const std::vector<uint8_t>& bytes, const char* name, bool replace)
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
    // nothing.
    const auto temporary_name = [&file_name](int n) {
        std::string temporary = file_name;
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
        error = platform::file_write_all(file, bytes.data(), bytes.size());
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

} // namespace

int imgBmpBytes(imgCTy* image, std::vector<uint8_t>& out)
{
    const uint32_t format = image->pelFmt.format;
    const uint32_t bpp = pelSize(format);
    size_t pelTotal = 0;
    if (format == 0 || bpp == 0 || image->width <= 0 || image->height <= 0
        || !imgBlockSize(image->width, image->height, bpp, &pelTotal))
        return ERR_DATA;

    const bool bitFields = format == pel_FMT_R5G6B5 || format == pel_FMT_X8R8G8B8;
    const palCTy* pal = image->pelFmt.palette;
    uint32_t colours = 0;
    if (format == pel_FMT_P8)
        colours = pal && pal->count ? std::min<uint32_t>(pal->count, 256) : 256;
    const size_t rowSize = (size_t(image->width) * bpp + 3) & ~size_t { 3 };
    const size_t imageSize = rowSize * size_t(image->height);
    const size_t offset = head_size + (bitFields ? 12 : 0) + 4 * size_t { colours };
    out.assign(offset + imageSize, 0);

    uint8_t* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, static_cast<uint32_t>(out.size()));
    put32(h + 10, static_cast<uint32_t>(offset));
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

    image->Lock(nullptr, img_LOCK_READ);
    const auto* pels = static_cast<const uint8_t*>(image->lockPtr);
    if (!pels) {
        image->Unlock();
        out.clear();
        return ERR_DATA;
    }
    const size_t rowBytes = size_t(image->width) * bpp;
    const size_t pitchBytes = size_t(image->pitch) * bpp;
    for (int32_t y = 0; y < image->height; ++y)
        std::memcpy(p + size_t(image->height - 1 - y) * rowSize, pels + size_t(y) * pitchBytes, rowBytes);
    image->Unlock();
    return 0;
}

int imgCTy::SaveBmp(const char* name)
{
    std::vector<uint8_t> bytes;
    if (imgBmpBytes(this, bytes) < 0)
        return gfxReportDataError();
    return write_beside(bytes, name, true);
}

int imgCTy::SaveBmpNew(const char* name)
{
    std::vector<uint8_t> bytes;
    if (imgBmpBytes(this, bytes) < 0)
        return gfxReportDataError();
    return write_beside(bytes, name, false);
}
