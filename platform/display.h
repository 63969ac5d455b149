// The display: surfaces of pixels in memory in the device's format, copied
// onto each other, filled, locked for software drawing, and shown in the
// application window through its primary surface.
//
// A display belongs to one window. Its primary surface is the window's
// client area (our "screen" is the client area, so client and screen
// coordinates are the same here). Writes to the primary are not shown at
// once: the backend pushes the primary to the window once per main-loop
// iteration, when the next message is taken (peek_message), or at a flip.
// That keeps a frame that is presented and then patched by dirty
// rectangles to one push, and one wait for the screen, per frame.
//
// Results are 32-bit codes. 0 is success; the failures keep the numbering
// that the engine's display layer reports with its own texts, so that its
// retry rules (still drawing: repeat; lost: restore and repeat) can be
// driven from tests through the headless backend's fault injection
// (platform/headless.h).
#pragma once

#include "platform/geometry.h"
#include "platform/pixels.h"
#include "platform/window.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace platform::display {

using Result = uint32_t;

inline constexpr Result ok = 0;
inline constexpr Result not_implemented = 0x80004001;    // the call has no implementation here
inline constexpr Result generic_failure = 0x80004005;
inline constexpr Result out_of_memory = 0x8007000E;
inline constexpr Result invalid_params = 0x80070057;
inline constexpr Result unsupported = 0x88760028;        // this display cannot do it
inline constexpr Result invalid_rect = 0x88760096;
inline constexpr Result no_stretch = 0x88760136;         // no hardware that stretches: draw it in software
inline constexpr Result out_of_video_memory = 0x8876017C;
inline constexpr Result surface_lost = 0x887601C2;       // contents gone: restore, refill, repeat
inline constexpr Result still_drawing = 0x8876021C;      // busy: repeat
inline constexpr Result cant_create_dc = 0x88760249;
inline constexpr Result wrong_mode = 0x8876024B;         // made in another mode: make it anew
inline constexpr Result implicit_surface = 0x8876024C;   // part of a chain: restore its owner

// Surface capabilities, as bits.
namespace caps {
inline constexpr uint32_t back_buffer = 0x4;
inline constexpr uint32_t complex = 0x8;
inline constexpr uint32_t flip = 0x10;
inline constexpr uint32_t offscreen = 0x40;
inline constexpr uint32_t primary = 0x200;
inline constexpr uint32_t system_memory = 0x800;
inline constexpr uint32_t video_memory = 0x4000;
inline constexpr uint32_t local_video = 0x10000000;    // video memory on the card
inline constexpr uint32_t nonlocal_video = 0x20000000; // video memory the card reaches over the bus
} // namespace caps

// A pixel format as a description: kind flags, bits per pixel and masks.
namespace format_flags {
inline constexpr uint32_t palette_4 = 0x8;
inline constexpr uint32_t palette_4_to_8 = 0x10;
inline constexpr uint32_t palette_8 = 0x20;
inline constexpr uint32_t rgb = 0x40;
inline constexpr uint32_t palette_2 = 0x800;
} // namespace format_flags

struct FormatInfo {
    uint32_t flags = 0;
    uint32_t bits = 0;
    uint32_t red_mask = 0;
    uint32_t green_mask = 0;
    uint32_t blue_mask = 0;
};
FormatInfo describe(PixelFormat format);

// Blit flags.
inline constexpr uint32_t blt_color_fill = 0x400;
inline constexpr uint32_t blt_key_src = 0x8000; // skip source pixels equal to the source's key

struct SurfaceDesc {
    uint32_t caps = 0;
    int width = 0;
    int height = 0;
    int back_buffers = 0; // primary surfaces only
    PixelFormat format = PixelFormat::rgb565;
};

struct Mode {
    int width = 0;
    int height = 0;
    int bits = 0;
    int refresh = 0;
};

struct VideoMemory {
    uint64_t total = 0;
    uint64_t free = 0;
};

struct Locked {
    uint8_t* bits = nullptr;
    ptrdiff_t pitch = 0; // bytes; for 24-bit surfaces a multiple of 12
};

class Display;
class Surface;
struct DisplayState;
struct SurfaceState;

// Text and picture output onto a surface, for the overlay and bitmaps.
// Valid until Surface::release_dc.
class Dc {
public:
    // Colours are 0x00BBGGRR (red in the low byte).
    void set_text_color(uint32_t colour) { text_colour_ = colour; }
    void set_bk_color(uint32_t colour) { bk_colour_ = colour; }
    void set_bk_transparent(bool transparent) { transparent_ = transparent; }
    void set_viewport_origin(Point origin) { origin_ = origin; }
    // One line of text with the built-in font, its top-left at (x, y);
    // clipped to the surface.
    void text_out(int x, int y, std::string_view text);
    // A 24-bit bottom-up picture (rows padded to 4 bytes, bytes B, G, R)
    // with its top-left at (x, y), converted and clipped.
    void set_dibits24(int x, int y, int width, int height, const uint8_t* bits);

private:
    friend class Surface;
    PixelSurface target_;
    uint32_t text_colour_ = 0;
    uint32_t bk_colour_ = 0xFFFFFF;
    bool transparent_ = false;
    Point origin_{};
};

class Surface {
public:
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    SurfaceDesc desc() const;
    [[nodiscard]] Result pixel_format(FormatInfo& out) const;

    // The whole surface's memory. A second lock without an unlock is
    // refused (generic_failure) and leaves `out` as it was.
    [[nodiscard]] Result lock(Locked& out);
    [[nodiscard]] Result unlock();

    // Copies `from` of `source` (this surface when null) to `to` of this
    // one; both of this display's format. Sizes that differ answer
    // no_stretch without drawing. With the window clip on (primary
    // surfaces), the target is clipped to the surface; otherwise a
    // rectangle outside either surface is invalid_rect. blt_key_src skips
    // source pixels whose colour bits equal the source key's.
    [[nodiscard]] Result blt(const Rect& to, Surface* source, const Rect& from, uint32_t flags);
    // Sets `rect` (the whole surface when null) to `pixel`.
    [[nodiscard]] Result fill(const Rect* rect, uint32_t pixel);
    // Flip chain: copies the back buffer to the front and shows it.
    [[nodiscard]] Result flip();

    [[nodiscard]] Result set_src_key(uint32_t pixel);
    bool has_src_key() const;

    bool is_lost() const;
    // Brings a lost surface back; its contents are undefined until redrawn.
    [[nodiscard]] Result restore();

    // The back buffer of a flip chain (owned by this primary), or null.
    Surface* attached_back();

    [[nodiscard]] Result get_dc(Dc*& out);
    [[nodiscard]] Result release_dc(Dc* dc);

    // Reading the pixels without locking, for tests and the presenter.
    PixelView view() const;

private:
    friend class Display;
    explicit Surface(std::unique_ptr<SurfaceState> state);
    std::unique_ptr<SurfaceState> s_;
};

class Display {
public:
    // A display on `window`. Fails with a result (and `out` null) when the
    // backend cannot show pixels in the window.
    [[nodiscard]] static Result open(WindowHandle window, std::unique_ptr<Display>& out);
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    WindowHandle window() const;
    std::vector<Mode> modes() const;
    // Full screen showing a w x h frame scaled to the desktop; `bits` picks
    // the surfaces' format (15, 16, 24 or 32).
    [[nodiscard]] Result set_full_screen(int width, int height, int bits);
    // Back to the desktop's format in a window.
    [[nodiscard]] Result restore_mode();
    bool full_screen() const;
    PixelFormat format() const; // the format of surfaces made now

    // The primary: the client area's size, with `back_buffers` back
    // buffers (a flip chain) or none. `memory` is caps::video_memory or
    // caps::system_memory.
    [[nodiscard]] Result create_primary(int back_buffers, uint32_t memory, std::unique_ptr<Surface>& out);
    [[nodiscard]] Result create_offscreen(int width, int height, uint32_t memory, std::unique_ptr<Surface>& out);
    // Any surface by its description (format from the display).
    [[nodiscard]] Result create_surface(const SurfaceDesc& desc, std::unique_ptr<Surface>& out);

    // Confines blits onto the primary to the window's client area.
    [[nodiscard]] Result set_window_clip(Surface& primary, bool on);

    // Video memory: a fixed budget, minus the surfaces made in it.
    VideoMemory video_memory() const;

private:
    explicit Display(std::shared_ptr<DisplayState> state);
    std::shared_ptr<DisplayState> d_;
};

// Pushes every display's primary that changed since its last push to its
// window. peek_message() calls it; a program calls it only when it shows a
// frame without taking messages.
void flush();

// What the window shows now, read back from the desktop (xrgb8888, client
// size). False when the backend cannot read it back.
[[nodiscard]] bool read_back(WindowHandle window, std::vector<uint32_t>& pixels, Size& size);

} // namespace platform::display
