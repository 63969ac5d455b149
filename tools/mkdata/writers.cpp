#include "tools/mkdata/writers.h"

#include "engine/gfx/gfx.h"
#include "platform/bmp_writer.h"

#include <cstdio>
#include <fstream>
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

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

bool write_jpeg(const std::string& path, const Canvas& picture, int quality)
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
    const std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return write_file(path, bytes);
}

bool write_bmp(const std::string& path, const Canvas& picture)
{
    const std::vector<uint8_t> bgr = picture.bgr();
    const platform::PixelView view { bgr.data(), picture.width() * 3, platform::PixelFormat::rgb888,
        picture.width(), picture.height() };
    return platform::write_bmp(path, view);
}

bool write_wav(const std::string& path, const std::vector<int16_t>& samples, uint32_t rate)
{
    const uint32_t data_bytes = uint32_t(samples.size() * 2);
    std::vector<uint8_t> out;
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
    return write_file(path, out);
}

bool write_image_set(const std::string& path, const std::vector<AlphaPicture>& pictures)
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
    rwCTy* s = rwWrOpen(path.c_str());
    if (!s)
        return false;
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
    return rwClose(s) == 0;
}

bool write_font(const std::string& base, const FontPicture& font)
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
    return record.size() == 4128 && write_file(base + ".fda", record) && write_bmp(base + ".fnt", font.picture);
}

} // namespace mkdata
