// A pixel format descriptor: a format id and, for palette images, a palette
// that the descriptor either borrows or owns.
#pragma once

#include "img/Palette.h"
#include "img/Pixels.h"

#include <cstdint>

namespace quarn::g {

class PelFmt {
public:
    PelFmt() = default;
    explicit PelFmt(uint32_t id) : id_(id) { }
    // Borrows the palette: the caller keeps it alive and frees it.
    PelFmt(uint32_t id, Palette* palette) : id_(id), palette_(palette) { }
    // A copy always owns its own copy of the palette.
    PelFmt(const PelFmt& other);
    PelFmt& operator=(const PelFmt& other);
    virtual ~PelFmt();

    uint32_t id() const { return id_; }
    // A descriptor describes a palette image exactly when this is set.
    Palette* palette() const { return palette_; }
    bool owns_palette() const { return owns_palette_; }
    size_t bytes_per_pixel() const;

    // A pixel value of this format as a pixel value of the target format:
    // with a palette the pixel is an index and the result its entry.
    [[nodiscard]] uint32_t convert_to(uint32_t pixel, uint32_t target_id) const;

    // The pixel value of this format for a colour: with a palette the index
    // of the nearest entry.
    [[nodiscard]] uint32_t pel_from_rgb(const Rgba8888& colour) const;

private:
    void drop_palette();

    uint32_t id_ = 0;
    Palette* palette_ = nullptr;
    bool owns_palette_ = false;
};

} // namespace quarn::g
