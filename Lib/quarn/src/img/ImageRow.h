// The library's concrete image: rows of pixels in memory, either owned or
// wrapping memory that stays the caller's, with a pitch that may be negative
// (rows running upwards in memory).
#pragma once

#include "img/Image.h"

namespace quarn::g {

class ImageRow : public Image {
public:
    // An image without pixels, ready for create.
    ImageRow() = default;
    // Wraps memory that stays the caller's. With a negative pitch, pixels
    // points at the top row, which lies at the highest address.
    ImageRow(int32_t width, int32_t height, const PelFmt& fmt, uint8_t* pixels, int32_t pitch);
    ~ImageRow() override;

    [[nodiscard]] std::unique_ptr<Image> clone() const override;
    void alloc_pixels() override;
    void free_pixels() override;
    void lock(Lock& lock, const Rect* rect, uint32_t mode) const override;
    void unlock(Lock& lock) const override;

    uint8_t* pixels() const { return pixels_; }
    int32_t pitch() const { return pitch_; }
    bool owns_pixels() const { return owns_pixels_; }

private:
    uint8_t* pixels_ = nullptr;
    int32_t pitch_ = 0;
    bool owns_pixels_ = false;
};

} // namespace quarn::g
