// The 8-bit sprite-set file: opened whole into memory, palette converted
// to screen pels once, frames handed out as views into the file.
#include "engine/gfx/gfx_internal.h"

#include <cstring>

namespace {

uint32_t u32_at(const uint8_t* p) { return uint32_t { p[0] } | uint32_t { p[1] } << 8 | uint32_t { p[2] } << 16 | uint32_t { p[3] } << 24; }

} // namespace

uint16_t* sprFilePalTo16(const uint8_t* entries)
{
    auto* pels = static_cast<uint16_t*>(memAlloc(256 * sizeof(uint16_t)));
    if (!pels)
        return nullptr;
    for (size_t i = 0; i < 256; ++i) {
        const uint8_t* e = entries + 4 * i;
        pels[i] = static_cast<uint16_t>(gRgbToScr(uint32_t { e[0] } | uint32_t { e[1] } << 8 | uint32_t { e[2] } << 16));
    }
    return pels;
}

sprFileCTy* sprFileOpen(const char* name)
{
    fileTy* view = fileLoad(nullptr, name);
    if (!view)
        return nullptr;
    // The offset table begins where the header ends: a shorter file is no
    // sprite-set file.
    if (view->length < spr_FILE_HEADER || !view->view) {
        fileClose(view, 0);
        gfxReportDataError();
        return nullptr;
    }
    auto* file = static_cast<sprFileCTy*>(memAllocZ(sizeof(sprFileCTy)));
    if (!file) {
        fileClose(view, 0);
        return nullptr;
    }
    std::memcpy(file->header, view->view, spr_FILE_HEADER);
    file->ownsPal = 1;
    file->palette = sprFilePalTo16(file->header + 16);
    file->view = view;
    file->offsets = view->view + spr_FILE_HEADER;
    return file;
}

int sprFileGetFrame(const sprFileCTy* file, uint32_t index, sprFrameTy* out)
{
    if (!out)
        return 0;
    const uint8_t* data = file->view->view;
    const size_t length = file->view->length;
    // Nothing stores the frame count: an index is good when its entry, the
    // frame and all its rows lie inside the file.
    if (uint64_t { index } * 4 + 4 > length - spr_FILE_HEADER)
        return gfxReportDataError();
    const uint32_t at = u32_at(file->offsets + 4 * size_t { index });
    if (at > length || length - at < spr_FRAME_HEADER)
        return gfxReportDataError();
    const uint8_t* frame = data + at;
    uint32_t words[12];
    for (size_t i = 0; i < 12; ++i)
        words[i] = u32_at(frame + 4 * i);
    const uint32_t width = words[4];
    const uint32_t height = words[5];
    const size_t tableEnd = at + spr_FRAME_HEADER + uint64_t { height } * 4;
    if (width > INT32_MAX || height > INT32_MAX || tableEnd > length)
        return gfxReportDataError();
    const uint8_t* table = frame + spr_FRAME_HEADER;
    const uint8_t* rowData = data + tableEnd;
    const size_t dataLeft = length - tableEnd;
    for (uint32_t r = 0; r < height; ++r) {
        const uint32_t off = u32_at(table + 4 * size_t { r });
        if (off > dataLeft || !rle8RowCovers(rowData + off, dataLeft - off, static_cast<int32_t>(width)))
            return gfxReportDataError();
    }
    std::memcpy(out->words, words, sizeof words);
    out->hotX = static_cast<int32_t>(words[2]);
    out->hotY = static_cast<int32_t>(words[3]);
    out->width = static_cast<int32_t>(width);
    out->height = static_cast<int32_t>(height);
    out->palette = file->palette;
    out->rowOffsets = table;
    out->rowData = rowData;
    return 0;
}

const uint8_t* sprFrameRow(const sprFrameTy* frame, int32_t r)
{
    return frame->rowData + u32_at(frame->rowOffsets + 4 * static_cast<size_t>(r));
}

void sprFileClose(sprFileCTy* file)
{
    if (!file)
        return;
    fileClose(file->view, 0);
    if (file->ownsPal)
        memFree(file->palette);
    memFree(file);
}
