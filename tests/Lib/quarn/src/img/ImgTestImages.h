// Images over test-owned memory: rows padded and surrounded by guard bytes,
// top-down or bottom-up, so that tests see every byte written outside the
// pixels.
#pragma once

#include "img/img.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace img_test {

inline constexpr uint8_t guard_byte = 0xA5;

// A row image that counts its locks, to tell whether an operation got as
// far as locking.
class CountingRow : public quarn::g::ImageRow {
public:
    using ImageRow::ImageRow;
    void lock(Lock& lock, const quarn::g::Rect* rect, uint32_t mode) const override
    {
        ++locks;
        ImageRow::lock(lock, rect, mode);
    }
    mutable int locks = 0;
};

class GuardedImage {
public:
    // padding: bytes after each row; bottom_up: rows run upwards in memory.
    GuardedImage(int32_t width, int32_t height, const quarn::g::PelFmt& fmt, int32_t padding = 3,
        bool bottom_up = false, int32_t guard = 64)
        : width_(width)
        , height_(height)
        , bytes_(int32_t(fmt.bytes_per_pixel()))
        , row_bytes_(width * bytes_ + padding)
        , guard_(guard)
        , memory_(size_t(guard) * 2 + size_t(row_bytes_) * size_t(height), guard_byte)
    {
        uint8_t* first = memory_.data() + guard;
        uint8_t* top = bottom_up ? first + ptrdiff_t(height - 1) * row_bytes_ : first;
        image_ = std::make_unique<CountingRow>(width, height, fmt, height ? top : first,
            bottom_up ? -row_bytes_ : row_bytes_);
    }

    CountingRow& image() { return *image_; }
    const CountingRow& image() const { return *image_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    uint8_t* pixel(int32_t x, int32_t y) { return image_->pixels() + ptrdiff_t(y) * image_->pitch() + x * bytes_; }

    uint32_t value(int32_t x, int32_t y)
    {
        uint32_t v = 0;
        std::memcpy(&v, pixel(x, y), size_t(bytes_));
        return v;
    }

    void set_value(int32_t x, int32_t y, uint32_t v) { std::memcpy(pixel(x, y), &v, size_t(bytes_)); }

    // Random pixel bytes (padding and guards stay).
    void randomise(std::mt19937& random)
    {
        for (int32_t y = 0; y < height_; ++y)
            for (int32_t x = 0; x < width_ * bytes_; ++x)
                pixel(0, y)[x] = uint8_t(random());
    }

    // Every byte outside the pixels still holds the guard byte.
    bool untouched_outside() const
    {
        std::vector<bool> inside(memory_.size(), false);
        for (int32_t y = 0; y < height_; ++y) {
            const uint8_t* row = image_->pixels() + ptrdiff_t(y) * image_->pitch();
            const size_t start = size_t(row - memory_.data());
            for (int32_t x = 0; x < width_ * bytes_; ++x)
                inside[start + size_t(x)] = true;
        }
        for (size_t i = 0; i < memory_.size(); ++i)
            if (!inside[i] && memory_[i] != guard_byte)
                return false;
        return true;
    }

    // The pixel bytes, row by row, for comparisons.
    std::vector<uint8_t> pixel_bytes()
    {
        std::vector<uint8_t> out;
        for (int32_t y = 0; y < height_; ++y)
            out.insert(out.end(), pixel(0, y), pixel(0, y) + width_ * bytes_);
        return out;
    }

private:
    int32_t width_, height_, bytes_, row_bytes_, guard_;
    std::vector<uint8_t> memory_;
    std::unique_ptr<CountingRow> image_;
};

} // namespace img_test
