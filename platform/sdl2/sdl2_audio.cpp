#include "platform/sdl2/sdl2_backend.h"

#include <exception>

namespace platform::sdl2_impl {

Sdl2Audio::~Sdl2Audio() { finish_close(); }

bool Sdl2Audio::open_device(const AudioOutputDef& def, uint32_t& latency_frames)
{
    finish_close();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        note_sdl_error("SDL_InitSubSystem(audio)");
        return false;
    }
    // SDL wants a power of two; the next one up keeps at least what was asked.
    Uint16 samples = 1;
    while (samples < def.buffer_frames && samples < 32768)
        samples = Uint16(samples * 2);
    SDL_AudioSpec want{};
    want.freq = int(def.format.rate);
    want.format = AUDIO_S16SYS;
    want.channels = Uint8(def.format.channels);
    want.samples = samples;
    want.callback = &Sdl2Audio::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to what the device takes, so the
    // engine's mixer always sees the format it asked for.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
        note_sdl_error("SDL_OpenAudioDevice");
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    channels_ = def.format.channels;
    latency_frames = have.samples;
    return true;
}

void Sdl2Audio::close_device()
{
    if (device_ == 0)
        return;
    // The pause takes the device's lock, so a running callback has
    // finished when it returns, and a paused device calls none again.
    SDL_PauseAudioDevice(device_, 1);
    // SDL's close sleeps out the device buffer being played and then two
    // more for the output to drain, up to three buffers' time in all. The
    // device is silent and no longer calls us, so that wait runs on a
    // thread of its own, beside the rest of the program's shut-down; the
    // next open and the backend's end wait for it.
    finish_close();
    const SDL_AudioDeviceID device = device_;
    device_ = 0;
    // A thread refused (std::system_error) or no memory for its state
    // (std::bad_alloc): the device is closed here, all the same.
    try {
        closer_ = std::thread([device] { SDL_CloseAudioDevice(device); });
    } catch (const std::exception&) {
        SDL_CloseAudioDevice(device);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

void Sdl2Audio::finish_close()
{
    if (!closer_.joinable())
        return;
    closer_.join();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void Sdl2Audio::run_device(bool running)
{
    if (device_ != 0)
        SDL_PauseAudioDevice(device_, running ? 0 : 1);
}

void Sdl2Audio::callback(void* self, Uint8* stream, int len)
{
    auto* audio = static_cast<Sdl2Audio*>(self);
    const auto frames = uint32_t(len) / (2u * audio->channels_);
    audio->render(reinterpret_cast<int16_t*>(stream), frames);
}

} // namespace platform::sdl2_impl
