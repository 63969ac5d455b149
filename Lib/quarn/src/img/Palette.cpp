#include "img/Palette.h"

#include "img/Formats.h"

#include <algorithm>
#include <cstring>

namespace quarn::g {

namespace {

// Index bytes reach 255, so a lookup table has at least this many entries.
constexpr uint32_t lookup_entries = 256;

uint32_t read_pixel(const uint8_t* at, size_t bytes)
{
    uint32_t value = 0;
    std::memcpy(&value, at, bytes);
    return value;
}

} // namespace

Palette::Palette(const Palette& other)
{
    *this = other;
}

Palette& Palette::operator=(const Palette& other)
{
    if (this == &other)
        return *this;
    const size_t bytes = checked_multiply(other.count_, bytes_per_pixel(other.entry_format_));
    Bytes entries = allocate_bytes(bytes);
    if (bytes)
        std::memcpy(entries.get(), other.entries_.get(), bytes);
    entries_ = std::move(entries);
    entry_format_ = other.entry_format_;
    count_ = other.count_;
    cache_format_ = 0;
    return *this;
}

void Palette::set_rgba(const uint8_t* quads, uint32_t count)
{
    const size_t bytes = checked_multiply(count, 4);
    Bytes entries = allocate_bytes(bytes);
    if (bytes)
        std::memcpy(entries.get(), quads, bytes);
    entries_ = std::move(entries);
    entry_format_ = format_id::rgba8888;
    count_ = count;
    cache_format_ = 0;
}

uint32_t Palette::get(uint32_t index, uint32_t target_id) const
{
    if (index >= count_ || entry_format_ < format_id::rgb888 || entry_format_ > format_id::rgba4444)
        return 0;
    const size_t bytes = bytes_per_pixel(entry_format_);
    return convert_pixel(entry_format_, read_pixel(entries_.get() + size_t(index) * bytes, bytes), target_id);
}

const uint8_t* Palette::entries_as(uint32_t target_id) const
{
    if (cache_format_ != 0 && cache_format_ == target_id)
        return cache_.get();
    cache_.reset();
    cache_format_ = target_id;
    const size_t bytes = bytes_per_pixel(target_id);
    const uint32_t entries = std::max(count_, lookup_entries);
    cache_ = allocate_bytes(checked_multiply(entries, bytes));
    for (uint32_t i = 0; i < entries; ++i) {
        const uint32_t value = get(i, target_id);
        std::memcpy(cache_.get() + size_t(i) * bytes, &value, bytes);
    }
    return cache_.get();
}

uint32_t Palette::nearest(const Rgba8888& colour) const
{
    const int32_t blue = int32_t(Rgba8888::blue.read(colour.value));
    const int32_t green = int32_t(Rgba8888::green.read(colour.value));
    const int32_t red = int32_t(Rgba8888::red.read(colour.value));
    uint32_t best = 0;
    int32_t best_distance = 10000;
    for (uint32_t i = 0; i < count_; ++i) {
        const uint32_t entry = get(i, format_id::rgbx8888);
        const int32_t db = int32_t(Rgbx8888::blue.read(entry)) - blue;
        const int32_t dg = int32_t(Rgbx8888::green.read(entry)) - green;
        const int32_t dr = int32_t(Rgbx8888::red.read(entry)) - red;
        const int32_t distance = db * db + dg * dg + dr * dr;
        if (distance == 0)
            return i;
        if (distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return best;
}

void Palette::release()
{
    entries_.reset();
    cache_.reset();
    cache_format_ = 0;
    count_ = 0;
}

} // namespace quarn::g
