// The RLE8 image's stream record: u32 offsets-in-header flag, the image
// header, the box (4 x i32), then (flag 1) box.h + 1 u32 offsets whose
// differences are the rows' byte lengths; the body is the rows' codes.
// The older record (flag 0) keeps the offsets at the start of the body,
// counted from the start of the stream.
#include "engine/gfx/gfx_internal.h"

#include <cstring>
#include <vector>

namespace {

// Leaves the image empty after a refused record.
int refuse(imgRle8CTy* image, int rc)
{
    image->Free();
    image->box = { 0, 0, 0, 0 };
    image->width = 0;
    image->height = 0;
    image->lastOffset = 0;
    return rc;
}

int data_error(imgRle8CTy* image) { return refuse(image, gfxReportDataError()); }

// Reads `count` offsets; the table must fit in the data before anything is
// allocated for it.
int read_offsets(rwCTy* stream, int32_t count, std::vector<uint32_t>& offsets)
{
    const size_t size = static_cast<size_t>(count) * 4;
    if (size > gfxStreamLeft(stream))
        return gfxFailShortRead(stream, size);
    offsets.resize(static_cast<size_t>(count));
    for (auto& o : offsets) {
        if (const int rc = gfxReadU32(stream, &o))
            return rc;
    }
    return 0;
}

// The offsets kept between ReadHeader and ReadBody, with the last one.
std::vector<uint32_t> kept_offsets(const imgRle8CTy* image)
{
    std::vector<uint32_t> offsets(image->headerOffsets, image->headerOffsets + image->box.h);
    offsets.push_back(image->lastOffset);
    return offsets;
}

// Every row's length must be counted forwards and every row must cover the
// box width inside its own bytes.
bool rows_sound(const std::vector<uint32_t>& offsets, const uint8_t* base, size_t room, int32_t w)
{
    for (size_t r = 0; r + 1 < offsets.size(); ++r) {
        if (offsets[r + 1] < offsets[r])
            return false;
        const size_t start = offsets[r] - offsets[0];
        const size_t length = offsets[r + 1] - offsets[r];
        if (offsets[r + 1] - offsets[0] > room)
            return false;
        if (length > 0 && !rle8RowCovers(base + start, length, w))
            return false;
    }
    return true;
}

} // namespace

void imgRle8CTy::WriteHeader(rwCTy* stream)
{
    rwWriteU32(stream, 1);
    imgCTy::WriteHeader(stream);
    rwWriteU32(stream, static_cast<uint32_t>(box.x));
    rwWriteU32(stream, static_cast<uint32_t>(box.y));
    rwWriteU32(stream, static_cast<uint32_t>(box.w));
    rwWriteU32(stream, static_cast<uint32_t>(box.h));
    if (box.h < 1)
        return;
    uint32_t offset = static_cast<uint32_t>(stream->position);
    rwWriteU32(stream, offset);
    for (int32_t r = 0; r < box.h; ++r) {
        offset += rle8RowLength(this, r);
        rwWriteU32(stream, offset);
    }
}

void imgRle8CTy::WriteBody(rwCTy* stream)
{
    for (int32_t r = 0; r < box.h; ++r) {
        if (const uint32_t size = rle8RowLength(this, r))
            rwWrite(stream, rows[r], size);
    }
}

int imgRle8CTy::ReadHeader(rwCTy* stream)
{
    Free();
    box = { 0, 0, 0, 0 };
    lastOffset = 0;
    uint32_t flag;
    if (const int rc = gfxReadU32(stream, &flag))
        return refuse(this, rc);
    if (const int rc = imgCTy::ReadHeader(stream))
        return refuse(this, rc);
    // The rows hold one byte per pel, so another format's header would make
    // every lock and draw misread the buffer. A side of 0 would let any
    // other side through the pel cap, and the row array grows with the
    // height whatever the width: both are capped on their own.
    if (pelFmt.format != pel_FMT_P8 || width == 0 || height == 0 || width > rle8_MAX_SIDE
        || height > rle8_MAX_SIDE) {
        pelFmt.format = pel_FMT_P8;
        return data_error(this);
    }
    uint32_t b[4];
    for (auto& word : b) {
        if (const int rc = gfxReadU32(stream, &word))
            return refuse(this, rc);
    }
    const rectTy read { static_cast<int32_t>(b[0]), static_cast<int32_t>(b[1]), static_cast<int32_t>(b[2]),
                        static_cast<int32_t>(b[3]) };
    // The decode writes the box into a width x height buffer: it must lie
    // inside the image.
    if (read.x < 0 || read.y < 0 || read.w < 0 || read.h < 0 || int64_t { read.x } + read.w > width
        || int64_t { read.y } + read.h > height)
        return data_error(this);
    // Every lock decodes the whole picture: a record claiming more than the
    // largest picture this layer makes is damaged, not a reason to ask for
    // gigabytes.
    if (int64_t { width } * height > rle8_MAX_PELS)
        return data_error(this);
    box = read;
    offsetsInHeader = flag ? 1 : 0;
    if (!flag || box.h < 1)
        return 0;
    std::vector<uint32_t> offsets;
    if (const int rc = read_offsets(stream, box.h + 1, offsets))
        return refuse(this, rc);
    headerOffsets = static_cast<uint32_t*>(memAlloc(sizeof(uint32_t) * static_cast<size_t>(box.h)));
    if (!headerOffsets)
        return refuse(this, ERR_NO_MEMORY);
    std::memcpy(headerOffsets, offsets.data(), sizeof(uint32_t) * static_cast<size_t>(box.h));
    lastOffset = offsets.back();
    return 0;
}

int imgRle8CTy::ReadBody(rwCTy* stream)
{
    if (box.h < 1)
        return 0;
    std::vector<uint32_t> offsets;
    if (offsetsInHeader) {
        if (!headerOffsets)
            return data_error(this);
        offsets = kept_offsets(this);
    } else if (const int rc = read_offsets(stream, box.h + 1, offsets)) {
        return refuse(this, rc);
    }
    const size_t left = gfxStreamLeft(stream);
    const uint8_t* body = stream->data ? stream->data + stream->position : nullptr;
    if (!body || !rows_sound(offsets, body, left, box.w)) {
        if (offsets.back() >= offsets.front() && offsets.back() - offsets.front() > left) {
            const size_t want = offsets.back() - offsets.front();
            refuse(this, 0);
            return gfxFailShortRead(stream, want);
        }
        return data_error(this);
    }
    // The rows are read as one block of the bytes the offsets span, which
    // the data was just found to hold.
    const size_t total = offsets.back() - offsets.front();
    if (!rle8MakeRows(this, box.h, total))
        return refuse(this, ERR_NO_MEMORY);
    if (total > 0) {
        if (const int rc = rwRead(stream, rowBlock, total); rc < 0)
            return refuse(this, rc);
    }
    for (int32_t r = 0; r < box.h; ++r) {
        const size_t i = static_cast<size_t>(r);
        if (offsets[i + 1] > offsets[i])
            rows[r] = rowBlock + (offsets[i] - offsets[0]);
    }
    return 0;
}

int imgRle8CTy::ReadBodyInPlace(rwCTy* stream)
{
    if (box.h < 1) {
        inPlace = 1;
        return 0;
    }
    std::vector<uint32_t> offsets;
    if (offsetsInHeader) {
        if (!headerOffsets)
            return data_error(this);
        offsets = kept_offsets(this);
    } else if (const int rc = read_offsets(stream, box.h + 1, offsets)) {
        return refuse(this, rc);
    }
    // The older record counts its offsets from the start of the buffer.
    const uint8_t* base = nullptr;
    size_t room = 0;
    if (stream->data) {
        if (offsetsInHeader) {
            base = stream->data + stream->position;
            room = gfxStreamLeft(stream);
        } else if (offsets.front() <= stream->length) {
            base = stream->data + offsets.front();
            room = stream->length - offsets.front();
        }
    }
    if (!base || !rows_sound(offsets, base, room, box.w))
        return data_error(this);
    Free();
    rows = static_cast<uint8_t**>(memAllocZ(sizeof(uint8_t*) * static_cast<size_t>(box.h)));
    if (!rows)
        return refuse(this, ERR_NO_MEMORY);
    rowCount = box.h;
    inPlace = 1;
    for (int32_t r = 0; r < box.h; ++r) {
        const size_t i = static_cast<size_t>(r);
        // A row without bytes is null, the last one too: its codes would lie
        // past the record.
        rows[r] = offsets[i + 1] == offsets[i] ? nullptr : const_cast<uint8_t*>(base) + (offsets[i] - offsets[0]);
    }
    return 0;
}

int imgRle8CTy::ReadInPlace(rwCTy* stream)
{
    if (const int rc = ReadHeader(stream))
        return rc;
    if (const int rc = ReadBodyInPlace(stream))
        return rc;
    return 1;
}
