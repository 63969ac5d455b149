// A palette: entries stored in one pixel format (Rgba8888 for every palette
// this library builds), with a cache of the entries converted into the one
// target format that was asked for last.
#pragma once

#include "img/Memory.h"
#include "img/Pixels.h"

#include <cstdint>

namespace quarn::g {

class Palette {
public:
    Palette() = default;
    Palette(const Palette& other);
    Palette& operator=(const Palette& other);
    ~Palette() = default;

    // Palette records come from the library's allocator like its pixels.
    static void* operator new(size_t size) { return allocate(size); }
    static void operator delete(void* block) noexcept { quarn::g::release(block); }

    // Replaces the entries by count quads (bytes B, G, R, A each) as they
    // stand; the entry format becomes Rgba8888.
    void set_rgba(const uint8_t* quads, uint32_t count);

    uint32_t entry_format() const { return entry_format_; }
    uint32_t count() const { return count_; }
    const uint8_t* entries() const { return entries_.get(); }

    // Entry `index` converted into the target format id. An index at or past
    // the count, or an entry format outside 1 to 8, gives 0.
    [[nodiscard]] uint32_t get(uint32_t index, uint32_t target_id) const;

    // Every entry converted into the target format, one pixel of
    // bytes_per_pixel(target_id) bytes per entry, built once per target format
    // and kept until another format is asked for. The table always has at
    // least 256 entries, so any index byte can be looked up; indexes past the
    // count give 0. Not safe to call for the same palette from two threads.
    [[nodiscard]] const uint8_t* entries_as(uint32_t target_id) const;

    // The index of the entry nearest to the colour by squared distance of
    // blue, green and red; 0 when no entry is nearer than 10000, on an empty
    // palette, or when the first of equally near entries is 0.
    [[nodiscard]] uint32_t nearest(const Rgba8888& colour) const;

    // Frees entries and cache.
    void release();

private:
    uint32_t entry_format_ = 0;
    uint32_t count_ = 0;
    Bytes entries_;
    mutable Bytes cache_;
    mutable uint32_t cache_format_ = 0;
};

} // namespace quarn::g
