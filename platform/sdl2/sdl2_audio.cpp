#include "platform/sdl2/sdl2_backend.h"

namespace platform::sdl2_impl {

bool Sdl2Audio::open_device(const AudioOutputDef& def, uint32_t& latency_frames)
{
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
    // Closing waits for a running callback, so none runs after this.
    SDL_CloseAudioDevice(device_);
    device_ = 0;
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
