// The MIDI music player: plays one standard MIDI file (or RIFF RMID file)
// over and over through the platform's MIDI stream output.
//
// The whole file is read once; a small ring of stream buffers is filled
// with the song's events and refilled on the stream's thread as the buffers
// come back. When the song is over and the last buffer is back, the stream
// is closed and MID_END_MESSAGE is posted to the notify window; handing
// that message to OnMessage() starts the song again.
#pragma once

#include "platform/window.h"

#include <cstdint>
#include <string>

struct midStateTy;

// Posted to the notify window when the song has ended (wparam: the player's
// state block, lparam: 1).
inline constexpr uint32_t MID_END_MESSAGE = 0x414;

class MidiPlayer {
public:
    // The soundfont the synthesiser plays the music with, for players made
    // after this call (empty: the system's own). A soundfont that is
    // missing or does not load gives way to the system's, with a log line.
    static void SetSoundfont(const char* path);

    explicit MidiPlayer(platform::WindowHandle notifyWindow);
    // Stops the music and releases everything.
    ~MidiPlayer();
    MidiPlayer(const MidiPlayer&) = delete;
    MidiPlayer& operator=(const MidiPlayer&) = delete;

    // Opens the output device (at the first call: the synthesiser loads
    // then, not when the player is made), reads the file, prepares the
    // stream from the start and starts it. A missing or bad file, or no
    // output, plays nothing (a file that cannot be read is named in the
    // log). A second call while a song is loaded does nothing.
    void Play(const char* fileName);
    // On MID_END_MESSAGE, prepares the song again and starts it; other
    // messages are ignored.
    void OnMessage(uint32_t message);
    // Prepares the stream for the whole song; true on success.
    [[nodiscard]] bool Prepare();

    // The stream state (tests and diagnostics); null when the constructor
    // could not allocate it.
    midStateTy* StateBlock() const { return state_; }

private:
    // Picks the output device, once, at the first Play.
    void OpenDevice();

    midStateTy* state_ = nullptr;
    uint32_t deviceId_;
    bool deviceOpened_ = false;
    bool rendersAudio_ = false; // the device's sound goes through the mixer
    platform::WindowHandle notifyWindow_;
    std::string fileName_;
};
