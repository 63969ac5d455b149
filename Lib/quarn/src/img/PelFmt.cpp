#include "img/PelFmt.h"

#include "img/Formats.h"

namespace quarn::g {

PelFmt::PelFmt(const PelFmt& other)
{
    *this = other;
}

PelFmt& PelFmt::operator=(const PelFmt& other)
{
    if (this == &other)
        return *this;
    id_ = other.id_;
    drop_palette();
    if (other.palette_) {
        auto copy = new Palette(*other.palette_);
        palette_ = copy;
        owns_palette_ = true;
    }
    return *this;
}

PelFmt::~PelFmt()
{
    drop_palette();
}

void PelFmt::drop_palette()
{
    if (owns_palette_)
        delete palette_;
    palette_ = nullptr;
    owns_palette_ = false;
}

size_t PelFmt::bytes_per_pixel() const
{
    return quarn::g::bytes_per_pixel(id_);
}

uint32_t PelFmt::convert_to(uint32_t pixel, uint32_t target_id) const
{
    if (palette_)
        return palette_->get(pixel, target_id);
    return convert_pixel(id_, pixel, target_id);
}

uint32_t PelFmt::pel_from_rgb(const Rgba8888& colour) const
{
    if (palette_)
        return palette_->nearest(colour);
    return convert_pixel(format_id::rgba8888, colour.value, id_);
}

} // namespace quarn::g
