#include "platform/bmp_writer.h"

#include "platform/file.h"

namespace platform {

namespace {

constexpr uint32_t file_header_size = 14;
constexpr uint32_t info_header_size = 40;

void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

} // namespace

std::vector<uint8_t> encode_bmp(const PixelView& view)
{
    if (!valid(view) || view.width == 0 || view.height == 0)
        return {};
    const uint32_t row_bytes = (uint32_t(view.width) * 3 + 3) & ~3u;
    const uint64_t image_bytes = uint64_t(row_bytes) * uint32_t(view.height);
    const uint64_t file_bytes = file_header_size + info_header_size + image_bytes;
    // The size fields are 32 bits wide; a larger picture has no BMP form.
    if (file_bytes > 0xFFFFFFFFu)
        return {};

    std::vector<uint8_t> out;
    out.reserve(size_t(file_bytes));
    // BITMAPFILEHEADER: "BM", file size, two reserved words, offset of the bits.
    out.push_back('B');
    out.push_back('M');
    put32(out, uint32_t(file_bytes));
    put32(out, 0);
    put32(out, file_header_size + info_header_size);
    // BITMAPINFOHEADER: a positive height means rows are stored bottom-up.
    put32(out, info_header_size);
    put32(out, uint32_t(view.width));
    put32(out, uint32_t(view.height));
    put16(out, 1);  // planes
    put16(out, 24); // bits per pixel
    put32(out, 0);  // BI_RGB, uncompressed
    put32(out, uint32_t(image_bytes));
    put32(out, 2835); // 72 dots per inch, in pixels per metre
    put32(out, 2835);
    put32(out, 0); // colours used
    put32(out, 0); // important colours

    for (int y = view.height - 1; y >= 0; --y) {
        const size_t start = out.size();
        for (int x = 0; x < view.width; ++x) {
            const uint32_t rgb = unpack_pixel(view.format, read_pixel(view, x, y));
            out.push_back(uint8_t(rgb));
            out.push_back(uint8_t(rgb >> 8));
            out.push_back(uint8_t(rgb >> 16));
        }
        out.resize(start + row_bytes, 0);
    }
    return out;
}

bool write_bmp(const std::string& path, const PixelView& view)
{
    const auto bytes = encode_bmp(view);
    if (bytes.empty())
        return false;
    const FileHandle file = file_open(path.c_str(), FileOpen::write_truncate);
    if (file == invalid_file)
        return false;
    const int64_t written = file_write(file, bytes.data(), bytes.size());
    const bool closed = file_close(file);
    return written == int64_t(bytes.size()) && closed;
}

} // namespace platform
