// What the windows and the display answer once the display has gone away
// under the program (its X server ended, or its connection was killed).
// The process ends soon after, from the window system's own handler; what
// runs until then (the program's save, a report of its failure, the exit
// handlers) must not ask anything of the dead connection: the X library
// waits for good on a reply that cannot come. The records of the windows
// stay, so the program still reads where its window was.
#include "platform/backend.h"
#include "platform/display_system.h"
#include "platform/process.h"

#include <atomic>

namespace platform {

namespace {

std::atomic<bool> lost{false};
std::atomic<void (*)()> display_lost_handler{nullptr};

class LostWindows final : public WindowSystem {
public:
    std::unique_ptr<Window> create(const WindowDef&) override
    {
        set_backend_error("the display is gone");
        return nullptr;
    }
    bool apply_focus(Window&) override { return false; }
    Size desktop_size() override { return {}; }
    bool cursor_position(Point&) override { return false; }
};

class LostDisplay final : public DisplaySystem {
public:
    PixelFormat desktop_format() override { return PixelFormat::xrgb8888; }
    std::vector<display::Mode> modes() override { return {}; }
    bool open(Window&) override { return false; }
    void show(Window&, const PixelView&) override {}
};

LostWindows lost_windows;
LostDisplay lost_display;

} // namespace

WindowSystem& Backend::windows() { return lost.load() ? lost_windows : own_windows(); }

DisplaySystem& Backend::display() { return lost.load() ? static_cast<DisplaySystem&>(lost_display) : own_display(); }

void on_display_lost(void (*handler)()) { display_lost_handler.store(handler); }

void display_lost()
{
    // A copy of the process (SDL's box) keeps nothing of the program's.
    if (in_forked_copy())
        return;
    lost.store(true);
    // Taken away as it runs: a second call (another window call made on
    // the dead connection while the handler saves) finds nothing to do.
    if (void (*handler)() = display_lost_handler.exchange(nullptr))
        handler();
}

bool display_is_lost() { return lost.load(); }

void forget_lost_display() { lost.store(false); }

} // namespace platform
