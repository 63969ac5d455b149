// The sound system: named sound effects played on ten prioritised channels
// that a software mixer sums into the platform's audio output, with WAV,
// MP3 and Ogg Vorbis files as sources.
//
// Every function here is for the main thread, except the extra source,
// which runs on the mixer's thread. Before sndInit and after sndDone the
// calls do nothing.
#pragma once

#include "engine/sound/midi_player.h"
#include "platform/audio.h"
#include "platform/window.h"

#include <cstdint>
#include <functional>

// Starts the sound system on the application window (which receives message
// 953 when a channel that asked for notification ends). Opens the audio
// output; without a sound device the system still starts and stays silent.
void sndInit(platform::WindowHandle window);

// Sound buffers made after this call keep playing aloud while the
// application is inactive (flag non-zero); without it they are muted then.
// sndInit clears it. Works whether or not the system is started.
void sndSetGlobalFocus(uint32_t flag);

// Effects volume 0..100: above 100 counts as 100; 0 or below switches the
// effects off and stops those that play; a later positive value switches
// them on again.
void sndSetVolume(int32_t volume);

// Plays a sound file (".wav", ".mp3" or ".ogg") once at the listener, at
// the effects volume. When the file exists, its numbered variants
// ("DATA/hit1.wav", "DATA/hit2.wav", ... up to the first missing one) join
// the choice, made with rand(). A missing or damaged WAV plays as silence;
// other failures play nothing.
void sndPlayFile(const char* path);

// Stops every sound, frees the sounds and closes the audio output.
void sndDone();

// Tells the mixer whether the application is active (the window procedure's
// activate_app message): while it is not, sounds made without global focus
// play on muted.
void sndActivateApp(bool active);

// One more source of sound mixed into the same output, for the music
// synthesiser. The function is called on the mixer's thread for every
// block of output, after the effects, with a 32-bit accumulator of `frames`
// interleaved frames at `format` (the output's rate and channel count). It
// adds its samples, scaled as signed 16-bit values, to what is there; the
// sum is clipped once afterwards. It must not block or wait for the main
// thread. Setting it again replaces it, an empty function removes it; both
// return only when no call of the previous function is running. The source
// stays set across sndInit and sndDone.
using sndExtraSourceFn = std::function<void(int32_t* acc, uint32_t frames, const platform::AudioFormat& format)>;
void sndSetExtraSource(sndExtraSourceFn source);

// The output's format while the system runs (rate 0 when there is no
// output): what the extra source is asked to produce.
platform::AudioFormat sndOutputFormat();
