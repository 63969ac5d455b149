#include "tools/mkdata/writers.h"

#include "tools/mkdata/data_folder.h"

#include "engine/gfx/gfx.h"
#include "platform/bmp_writer.h"

#include <cstdio>
#include <memory>

#include <jpeglib.h>

namespace mkdata {

void put_u16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    put_u16(out, uint16_t(v));
    put_u16(out, uint16_t(v >> 16));
}

std::vector<uint8_t> jpeg_bytes(const Canvas& picture, int quality)
{
    std::vector<uint8_t> rgb = picture.bgr();
    for (size_t i = 0; i < rgb.size(); i += 3)
        std::swap(rgb[i], rgb[i + 2]);
    // libjpeg reports errors by calling error_exit, which by default ends
    // the process; the tool may end on a failure anyway, so it is left so.
    jpeg_compress_struct cinfo {};
    jpeg_error_mgr jerr {};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(picture.width());
    cinfo.image_height = JDIMENSION(picture.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &rgb[size_t(cinfo.next_scanline) * picture.width() * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

std::vector<uint8_t> bmp_bytes(const Canvas& picture)
{
    const std::vector<uint8_t> bgr = picture.bgr();
    const platform::PixelView view { bgr.data(), picture.width() * 3, platform::PixelFormat::rgb888,
        picture.width(), picture.height() };
    return platform::encode_bmp(view);
}

std::vector<uint8_t> wav_bytes(const std::vector<int16_t>& samples, uint32_t rate)
{
    const uint32_t data_bytes = uint32_t(samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + size_t(data_bytes));
    auto tag = [&](const char* t) { out.insert(out.end(), t, t + 4); };
    tag("RIFF");
    put_u32(out, 36 + data_bytes);
    tag("WAVE");
    tag("fmt ");
    put_u32(out, 16);
    put_u16(out, 1); // PCM
    put_u16(out, 1); // mono
    put_u32(out, rate);
    put_u32(out, rate * 2);
    put_u16(out, 2);
    put_u16(out, 16);
    tag("data");
    put_u32(out, data_bytes);
    for (int16_t s : samples)
        put_u16(out, uint16_t(s));
    return out;
}

bool image_set_bytes(const std::vector<AlphaPicture>& pictures, std::vector<uint8_t>& out)
{
    // The form with all headers first (version 0xFFFF0001): the version,
    // the count, no shared palettes, one offset per image to its pels, the
    // class-name table, a class index and header per image, the bodies.
    std::vector<std::unique_ptr<imgAlpha>> images;
    for (const AlphaPicture& p : pictures) {
        auto image = std::make_unique<imgAlpha>();
        image->unblend = 1;
        image->SetSize(p.width, p.height, nullptr);
        (void)image->Lock(nullptr, img_LOCK_WRITE);
        if (!image->lockPtr)
            return false;
        std::copy(p.argb.begin(), p.argb.end(), static_cast<uint32_t*>(image->lockPtr));
        image->Unlock();
        if (!image->runs)
            return false;
        images.push_back(std::move(image));
    }
    // Made in memory: the file is written as a whole by write_new_file.
    rwCTy* s = rwWrOpen(nullptr);
    if (!s)
        return false;
    rwMemBlockTy* block = nullptr;
    rwSetTarget(s, &block);
    rwWriteU32(s, 0xFFFF0001u);
    rwWriteU32(s, uint32_t(images.size()));
    rwWriteU32(s, 0); // palettes
    const size_t offsets_at = s->position;
    for (size_t i = 0; i < images.size(); ++i)
        rwWriteU32(s, 0);
    rwWriteStr(s, "imgAlpha");
    rwWriteU32(s, 0xFFFFFFFFu);
    for (auto& image : images) {
        rwWriteU32(s, 0); // class index
        image->WriteHeader(s);
    }
    std::vector<uint32_t> offsets;
    for (auto& image : images) {
        offsets.push_back(uint32_t(s->position));
        image->WriteBody(s);
    }
    const size_t end = s->position;
    rwSeek(s, offsets_at);
    for (uint32_t o : offsets)
        rwWriteU32(s, o);
    rwSeek(s, end);
    const int closed = rwClose(s);
    if (!block)
        return false;
    // The file's header words (rw.h), then the data as packed.
    out.clear();
    for (uint32_t word : {block->magic, block->flags, block->packer, block->word, block->length,
                          block->unpackedSize})
        put_u32(out, word);
    out.insert(out.end(), block->data, block->data + block->length);
    memFree(block);
    return closed == 0;
}

bool write_image_set(const std::string& path, const std::vector<AlphaPicture>& pictures)
{
    std::vector<uint8_t> bytes;
    return image_set_bytes(pictures, bytes) && write_new_file(path, bytes);
}

std::vector<uint8_t> font_record(const FontPicture& font)
{
    std::vector<uint8_t> record;
    put_u32(record, 0x01746E66u);
    put_u32(record, uint32_t(font.reference));
    put_u32(record, uint32_t(font.spacing));
    put_u32(record, uint32_t(font.space_width));
    put_u32(record, uint32_t(font.height));
    put_u32(record, 0);
    put_u32(record, 0);
    for (const auto& box : font.boxes)
        for (int32_t v : box)
            put_u32(record, uint32_t(v));
    put_u32(record, 0);
    // Seven header words, four per glyph box, one closing word: the size
    // the engine's font loader reads.
    static_assert(sizeof(FontPicture::boxes) == 256 * 16 && 7 * 4 + 256 * 16 + 4 == 4128);
    return record;
}

} // namespace mkdata
