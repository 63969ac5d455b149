// JPEG pictures for the decoder's tests, fuzz seeds and benchmarks,
// compressed with libjpeg at run time, and libjpeg's own decode of them as
// the reference.
#pragma once

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace img_test {

namespace detail {
struct JpegFailure {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};
inline void jpeg_failure_exit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<JpegFailure*>(cinfo->err)->jump, 1);
}
} // namespace detail

// Compresses width x height pixels given as R, G, B bytes (or one grey byte
// each when `components` is 1).
inline std::string jpeg_file(int width, int height, const std::vector<uint8_t>& pixels, int quality = 90,
    int components = 3, bool progressive = false)
{
    jpeg_compress_struct c {};
    detail::JpegFailure failure {};
    c.err = jpeg_std_error(&failure.pub);
    failure.pub.error_exit = detail::jpeg_failure_exit;
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (setjmp(failure.jump)) {
        jpeg_destroy_compress(&c);
        std::free(out);
        throw std::runtime_error("compressing a test JPEG failed");
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + size_t(c.next_scanline) * size_t(width) * components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string file(reinterpret_cast<const char*>(out), size);
    std::free(out);
    return file;
}

// The file with its frame header (SOF0 or SOF2) saying width x height: a
// picture of any size from a file of a few hundred bytes. A file without
// such a header is given back as it is.
inline std::string with_frame_size(std::string file, uint16_t width, uint16_t height)
{
    for (size_t i = 0; i + 9 < file.size(); ++i)
        if (uint8_t(file[i]) == 0xFF && (uint8_t(file[i + 1]) == 0xC0 || uint8_t(file[i + 1]) == 0xC2)) {
            file[i + 5] = char(height >> 8);
            file[i + 6] = char(height);
            file[i + 7] = char(width >> 8);
            file[i + 8] = char(width);
            break;
        }
    return file;
}

// libjpeg's decode of a file into R, G, B bytes with the decoder's DCT
// method (fast integer).
inline std::vector<uint8_t> jpeg_reference(const std::string& file, int* width = nullptr, int* height = nullptr)
{
    jpeg_decompress_struct d {};
    detail::JpegFailure failure {};
    // Made before the jump buffer, so that the jump skips no constructor.
    std::vector<uint8_t> rgb;
    d.err = jpeg_std_error(&failure.pub);
    failure.pub.error_exit = detail::jpeg_failure_exit;
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&d);
        throw std::runtime_error("decoding a test JPEG failed");
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(file.data()), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    d.dct_method = JDCT_IFAST;
    jpeg_start_decompress(&d);
    rgb.resize(size_t(d.output_width) * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = rgb.data() + size_t(d.output_scanline) * d.output_width * 3;
        jpeg_read_scanlines(&d, &row, 1);
    }
    if (width)
        *width = int(d.output_width);
    if (height)
        *height = int(d.output_height);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return rgb;
}

// A smooth picture with some detail, as R, G, B bytes.
inline std::vector<uint8_t> gradient_rgb(int width, int height)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            out.push_back(uint8_t(x * 255 / (width > 1 ? width - 1 : 1)));
            out.push_back(uint8_t(y * 255 / (height > 1 ? height - 1 : 1)));
            out.push_back(uint8_t(((x / 8 + y / 8) % 2) * 160 + 40));
        }
    return out;
}

} // namespace img_test
