// The headless backend's parts, shared by its files. Private to platform/.
#pragma once

#include "platform/backend.h"
#include "platform/display_system.h"
#include "platform/headless.h"

#include <deque>

namespace platform::headless_impl {

// The fake desktop: windows are their records and their frames; input
// comes from the script.
class HeadlessWindows final : public WindowSystem {
public:
    std::unique_ptr<Window> create(const WindowDef& def) override;
    void pump(Desktop& desktop) override;
    Size desktop_size() override { return desktop_; }
    Rect work_area() override { return work_area_; }
    bool cursor_position(Point& out) override
    {
        out = cursor_;
        return true;
    }
    Rect borders(const Window& w) override;
    Point client_to_screen(const Window& w, Point p) override;
    Point screen_to_client(const Window& w, Point p) override;

    void set_desktop(Size size, Rect area)
    {
        desktop_ = size;
        work_area_ = area;
    }
    bool on_a_display() override { return on_a_display_; }
    void set_on_a_display(bool on) { on_a_display_ = on; }
    void feed(const std::vector<headless::InputEvent>& script);
    size_t pending() const { return script_.size(); }
    void clear() { script_.clear(); }

private:
    struct Due {
        uint32_t at;
        headless::InputEvent event;
    };
    void play(Desktop& desktop, const headless::InputEvent& event);

    Size desktop_{1024, 768};
    Rect work_area_{0, 0, 1024, 768};
    Point cursor_{};
    bool on_a_display_ = false;
    std::deque<Due> script_;
};

// Sound rendered only when advanced, into a capture buffer.
class HeadlessAudio final : public AudioSystem {
public:
    uint64_t advance(uint64_t frames);
    std::vector<int16_t> capture;
    AudioFormat capture_format; // of the output last opened
    bool device_present = true;

protected:
    bool open_device(const AudioOutputDef& def, uint32_t& latency_frames) override;
    void close_device() override {}
};

// Surfaces are the truth; showing a primary costs nothing (the frame is
// copied only when read).
class HeadlessDisplay final : public DisplaySystem {
public:
    PixelFormat desktop_format() override { return desktop; }
    std::vector<display::Mode> modes() override;
    uint64_t video_memory_total() override { return video_total; }
    void show(Window&, const PixelView&) override {}
    bool read_back(Window& w, std::vector<uint32_t>& pixels, Size& size) override
    {
        sync_display_frame(w);
        pixels = w.pixels;
        size = w.frame_size;
        return true;
    }

    PixelFormat desktop = PixelFormat::xrgb8888;
    uint64_t video_total = uint64_t(256) << 20;
};

class HeadlessBackend final : public Backend {
public:
    const char* name() const override { return "headless"; }
    BackendKind kind() const override { return BackendKind::headless; }
    std::optional<BoxAnswer> message_box(const BoxRequest& request) override;
    AudioSystem& audio() override { return audio_; }

    HeadlessWindows windows_;
    HeadlessAudio audio_;
    HeadlessDisplay display_;

protected:
    WindowSystem& own_windows() override { return windows_; }
    DisplaySystem& own_display() override { return display_; }
};

// The faults behind headless::refuse_windows and headless::refuse_boxes.
void refuse_windows(int times, bool for_size);
void refuse_boxes(int times);

} // namespace platform::headless_impl
