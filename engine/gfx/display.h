// The display device and its surfaces (part of engine/gfx's interface;
// include engine/gfx/gfx.h).
//
// One global device `gDDCTy` exists between gCreate and gRelease. It owns a
// primary surface (what the window shows) and a back surface (where the
// sprite list draws); gPresent puts the back surface on the primary, by a
// flip in a full-screen flip chain, else by a copy. Surfaces are images of
// kind img_KIND_SURFACE: software draws lock them, copies between two
// surfaces are display blits, and a surface whose contents were lost
// restores and refills itself from its restore source, then tries again.
//
// Failures of the display are reported through the base library's reporter
// as the display's result codes (negative as int32), with the texts that
// gCreate registers (gDDMessages).
#pragma once

#include "platform/display.h"
#include "platform/window.h"

#include <cstdint>
#include <memory>
#include <vector>

// Mode flags of gCreate and gSetMode.
inline constexpr uint32_t g_FULL_SCREEN = 1;
inline constexpr uint32_t g_VIDEO_MEMORY = 2; // the separate back surface in video memory first
inline constexpr uint32_t g_FLIP = 4;         // a flip chain; implies g_FULL_SCREEN
inline constexpr uint32_t g_CLIPPER = 8;      // a clipper in full screen too (windowed always has one)

// The display's result codes as the reporter's codes.
constexpr int32_t gResultCode(platform::display::Result result) { return static_cast<int32_t>(result); }
inline constexpr int32_t gERR_UNSUPPORTED = gResultCode(platform::display::unsupported);

// Restore kinds of a surface: what refills it after a loss.
inline constexpr uint32_t g_RESTORE_NONE = 0;
inline constexpr uint32_t g_RESTORE_BMP = 1;    // a BMP file (bmpLoad's arguments)
inline constexpr uint32_t g_RESTORE_FRAME = 2;  // a frame of an 8-bit sprite-set file
inline constexpr uint32_t g_RESTORE_IMAGE = 3;  // another image drawn in with DrawEx
inline constexpr uint32_t g_RESTORE_SCALED = 4; // another image drawn in scaled or mirrored

// How many times one surface call is tried before it gives up: a busy
// surface is asked again, a lost one restored; a call that keeps failing
// with anything else gives up instead of asking for ever.
inline constexpr int g_RETRY_LIMIT = 16;

// The pel format code of a display pixel format: palette-indexed 9, RGB
// 32-bit 2, 24-bit 1, 16-bit 4 (green 0x07E0) or 5 (green 0x03E0), else 0.
[[nodiscard]] uint32_t gPelFmtOf(const platform::display::FormatInfo& format);

class gSurfDxdCTy : public imgCTy {
public:
    platform::display::Surface* surface = nullptr; // null when none
    uint32_t restoreKind = g_RESTORE_NONE;
    char* restoreFile = nullptr;      // kinds 1 and 2, owned
    int32_t restoreBmpArgs[4] = {};   // kind 1: bmpLoad's x, y, width, height
    uint32_t restoreFrame = 0;        // kind 2
    imgCTy* restoreSrc = nullptr;     // kinds 3 and 4, not owned
    rectTy restoreRect = {0, 0, 0, 0}; // kind 3
    uint32_t restoreHasRect = 0;
    int32_t restoreX = 0, restoreY = 0;
    float restoreScaleX = 1.0f, restoreScaleY = 1.0f; // kind 4
    uint32_t restoreMirror = 0;
    int32_t originX = 0, originY = 0;
    uint32_t ownsSurface = 1; // 0 for the wrapper of a flip chain's back buffer
    uint32_t isPrimary = 0;
    uint32_t restoring = 0; // set while Restore refills, so a loss inside it gives up

    gSurfDxdCTy() { kind = img_KIND_SURFACE; }
    gSurfDxdCTy(const gSurfDxdCTy&) = delete;
    gSurfDxdCTy& operator=(const gSurfDxdCTy&) = delete;
    ~gSurfDxdCTy() override;

    const char* GetClassName() const override { return "gSurfDxdCTy"; }

    // Creation: 0, or the failure's code (reported). The primary tries
    // video memory, then system memory; a video memory failure is not
    // shown. Without a device, or when nothing was made, gERR_UNSUPPORTED
    // is reported.
    [[nodiscard]] int CreatePrimary(int32_t w, int32_t h, int32_t backBuffers);
    [[nodiscard]] int CreateOffscreen(int32_t w, int32_t h, uint32_t video);
    // A new surface over the flip chain's back buffer of `primary`, which
    // keeps owning it; null when the primary has none (reported).
    [[nodiscard]] static gSurfDxdCTy* WrapBackBuffer(gSurfDxdCTy* primary);
    // An off-screen surface in video memory only; the format argument's
    // palette is taken, the code comes from the display.
    void SetSize(int32_t w, int32_t h, const pelFmtCTy* format) override;

    rectTy GetRect() override; // {origin x, origin y, width, height}
    // A failed lock (a surface that cannot be restored, or a call that
    // keeps failing) leaves lockPtr null.
    int32_t Lock(const rectTy* rect, uint32_t mode) override;
    void Unlock() override;
    uint32_t SetColorKeyPel(uint32_t pel) override;
    uint32_t SetColorKey(uint32_t colour) override;
    void Fill(uint32_t pel, const rectTy* rect) override;
    // Onto another surface: a display blit (keyed when this surface has a
    // key). Onto any other image: the software draw.
    void Draw(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect) override;
    // Onto another surface, unscaled copies are blits; scaled draws are
    // asked of the display and drawn in software when it cannot stretch.
    void DrawEx(imgCTy* destination, int32_t x, int32_t y, const rectTy* rect, const imgDrawPrmCTy& prm) override;
    // Reports gERR_UNSUPPORTED; null.
    [[nodiscard]] imgCTy* Clone() override;
    // Lets go of the display surface and forgets the restore source.
    void Free() override;

    // Text and bitmap output; null when the surface cannot give one.
    [[nodiscard]] platform::display::Dc* GetDC();
    void ReleaseDC(platform::display::Dc* dc);
    // Flip chain primaries: shows the back buffer. 0 or the code.
    [[nodiscard]] int Flip();
    // 1 when the surface is not lost or was restored and refilled; 0 when
    // it could not be.
    [[nodiscard]] int Restore();
    // Makes the surface anew with its description, stepping down from
    // local to non-local video memory to system memory. 1 or 0.
    [[nodiscard]] int Recreate();
    // The pel format from the display (reported on failure).
    void ReadPelFmt();

    // Restore sources. The name is copied.
    void SetRestoreBmp(const char* name, int32_t x, int32_t y, int32_t w, int32_t h);
    void SetRestoreFrame(const char* name, uint32_t index);
    void SetRestoreImage(imgCTy* source, const rectTy* rect, int32_t x, int32_t y);
    void SetRestoreScaled(imgCTy* source, float scaleX, float scaleY, uint32_t mirror);

    // Writes a BMP block (bmpLoad's) with its top-left at (x, y): 8-bit
    // pictures through their colour table, 24-bit through the device
    // context; other depths draw nothing. Clipped to the surface.
    void DrawBitmap(const bmpInfoTy* bmp, int32_t x, int32_t y);
    // Writes a sprite-set frame's rows with its top-left at (x, y) into a
    // surface of 1- or 2-byte pels; clipped to the surface.
    void DrawFrame(const sprFrameTy* frame, int32_t x, int32_t y);

    // Unlocks and lets go of the display surface (deleting it when owned);
    // the restore source stays.
    void ReleaseSurface();
    // Makes `made` this surface's, owned or not, and reads its format.
    void Adopt(platform::display::Surface* made, bool owned);
};

// The abstract display device.
class gCTy {
public:
    virtual ~gCTy() = default;
    virtual void SetWnd(platform::WindowHandle window) = 0;
    virtual void Release() = 0;
    virtual int SetMode(int32_t w, int32_t h, int32_t bpp, int32_t refresh, uint32_t flags) = 0;
    virtual int Present() = 0;
};

class gDDCTy final : public gCTy {
public:
    gSurfDxdCTy* primary = nullptr; // owned
    gSurfDxdCTy* back = nullptr;    // owned
    platform::WindowHandle window = nullptr;
    rectTy clip = {0, 0, 0, 0};
    uint32_t flags = 0;
    std::unique_ptr<platform::display::Display> dd;
    bool clipper = false;
    std::vector<platform::display::Mode> modes; // filled when the display is made; kept for the run

    gDDCTy() = default;
    gDDCTy(const gDDCTy&) = delete;
    gDDCTy& operator=(const gDDCTy&) = delete;
    ~gDDCTy() override;

    void SetWnd(platform::WindowHandle w) override { window = w; }
    // Restores the desktop mode, drops the clipper, deletes the surfaces
    // (the back surface first: it may wrap the primary's back buffer) and
    // the display. Safe to call twice.
    void Release() override;
    // 0, or the code of the failure (reported).
    int SetMode(int32_t w, int32_t h, int32_t bpp, int32_t refresh, uint32_t flags) override;
    // 0, or the code of the failure.
    int Present() override;

    // Makes the display when there is none: 0 or the code (reported).
    [[nodiscard]] int MakeDisplay();
    [[nodiscard]] int MakeSurfaces(int32_t w, int32_t h);
    void FreeSurfaces();
};

// The device's globals.
struct gModeTy {
    gDDCTy* device = nullptr;
    uint32_t ready = 0;
    uint32_t flags = 0;            // as given to gCreate
    rectTy screen = {0, 0, 0, 0};  // {0, 0, w, h}
    rectTy clip = {0, 0, 0, 0};    // the device's
    int32_t width = 0, height = 0, bpp = 0;
    uint32_t textColor = 0xFFFFFF; // the overlay's, 0x00BBGGRR; white at every mode set
    int lastResult = 0;            // of the last mode set
};
extern gModeTy gMode;
// The display all surfaces are made on; set while a device holds one.
extern platform::display::Display* gDisplay;

// The display's result texts, one record per code (gCreate registers them).
extern errMsgSetTy gDDMessages;
inline constexpr int g_DD_MESSAGE_COUNT = 119;

// Makes the device when there is none, registers the texts and the debug
// box hooks (owner window: the device's), sets the mode and marks the
// device ready. 0, or the failure's code (already reported); the device is
// then not ready.
[[nodiscard]] int gCreate(platform::WindowHandle window, uint32_t flags, int32_t w, int32_t h, int32_t bpp);
// Sets the mode, the screen format (gInitPelFmt), the overlay colour and
// the mode globals. 1, or the failure's code (reported).
[[nodiscard]] int gSetMode(uint32_t flags, int32_t w, int32_t h, int32_t bpp);
// Releases and deletes the device; nothing when not ready.
void gRelease();
// Presents the back surface: 0, or the failure's code; without a device
// gERR_UNSUPPORTED (not reported).
int gPresent();

// Sets gScrFmt for a mode of `bpp` bits (0: the desktop's): the 5:6:5
// defaults, replaced by the primary's masks when it is a 16-bit RGB
// surface and the mode is 0 or 16 bits; other depths keep the 5:6:5 masks
// with their own bits and bytes per pel.
void gInitPelFmt(int32_t bpp);

// The frame-rate overlay: every eleventh call measures the time since the
// last measurement and forms " %3d %5d.%1d  V_M = %d" (elapsed / 10, the
// rate in tenths of frames per second, video memory in use); each call
// draws the current text at (x, y) on the back surface.
void gDrawFps(int32_t x, int32_t y);
// printf-style text on the back surface in gMode.textColor over
// gFpsBkColor (0xFFFFFFFF: transparent); a text of 128 characters or more
// is drawn as nothing.
void gTextOut(int32_t x, int32_t y, const char* format, ...) __attribute__((format(printf, 3, 4)));
extern uint32_t gFpsBkColor;
// The overlay's state, readable for tests.
struct gFpsTy {
    uint32_t counter = 0;
    uint32_t last = 0;
    char text[256] = "";
};
extern gFpsTy gFps;
