// The test-facing controls of headless.h.
#include "platform/bmp_writer.h"
#include "platform/file.h"
#include "platform/headless/headless_backend.h"

namespace platform::headless {

namespace {

headless_impl::HeadlessBackend* backend()
{
    return dynamic_cast<headless_impl::HeadlessBackend*>(&current_backend());
}

void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

} // namespace

bool active() { return backend() != nullptr; }

void refuse_windows(int times, bool for_size) { headless_impl::refuse_windows(times, for_size); }
void refuse_boxes(int times) { headless_impl::refuse_boxes(times); }

void set_desktop(Size size, Rect work_area)
{
    if (auto* b = backend())
        b->windows_.set_desktop(size, work_area);
}

void put_windows_on_a_display(bool on)
{
    if (auto* b = backend())
        b->windows_.set_on_a_display(on);
}

void feed_input(const std::vector<InputEvent>& script)
{
    if (auto* b = backend())
        b->windows_.feed(script);
}

size_t pending_input()
{
    auto* b = backend();
    return b ? b->windows_.pending() : 0;
}

void clear_input()
{
    if (auto* b = backend())
        b->windows_.clear();
}

uint64_t present_count(WindowHandle window)
{
    auto* b = backend();
    Window* w = b ? b->desktop().find(window) : nullptr;
    return w ? w->presents : 0;
}

bool dump_frame(WindowHandle window, const std::string& path)
{
    if (!backend())
        return false;
    return write_bmp(path, window_frame(window));
}

uint64_t advance_audio(uint64_t frames)
{
    auto* b = backend();
    return b ? b->audio_.advance(frames) : 0;
}

std::vector<int16_t> captured_audio()
{
    auto* b = backend();
    return b ? b->audio_.capture : std::vector<int16_t>{};
}

void clear_captured_audio()
{
    if (auto* b = backend())
        b->audio_.capture.clear();
}

bool write_captured_wav(const std::string& path)
{
    auto* b = backend();
    if (!b)
        return false;
    const AudioFormat format = b->audio_.capture_format;
    const auto& samples = b->audio_.capture;
    const uint64_t data_bytes = uint64_t(samples.size()) * 2;
    if (data_bytes > 0xFFFFFFFFu - 36)
        return false;
    std::vector<uint8_t> out;
    out.reserve(size_t(44 + data_bytes));
    // RIFF header, "fmt " chunk of 16 bytes (PCM), "data" chunk.
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(out, uint32_t(36 + data_bytes));
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(out, 16);
    put16(out, 1);
    put16(out, format.channels);
    put32(out, format.rate);
    put32(out, format.rate * format.channels * 2);
    put16(out, uint16_t(format.channels * 2));
    put16(out, 16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(out, uint32_t(data_bytes));
    for (int16_t s : samples)
        put16(out, uint16_t(s));

    const FileHandle file = file_open(path.c_str(), FileOpen::write_truncate);
    if (file == invalid_file)
        return false;
    const int64_t written = file_write(file, out.data(), out.size());
    const bool closed = file_close(file);
    return written == int64_t(out.size()) && closed;
}

void set_audio_device_present(bool present)
{
    if (auto* b = backend())
        b->audio_.device_present = present;
}

} // namespace platform::headless
