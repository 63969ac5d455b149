// What the MIDI stream code shares inside platform/.
#pragma once

#include "platform/midi.h"

#include <cstdint>
#include <string>

namespace platform::midi_detail {

// The sink and clock a new stream on `device` plays into; false when there
// is no such device.
bool resolve_device(uint32_t device, MidiSink*& sink, MidiClock*& clock);

// Nanoseconds from the start of a stream's tempo segment to `ticks` ticks
// into it. `division` is the time division word (never 0), `tempo_us` the
// microseconds per quarter note. Saturates instead of wrapping.
uint64_t ticks_to_ns(uint64_t ticks, uint32_t division, uint32_t tempo_us);

// Called, when set, with the soundfont's name between the check of the
// opened file and the synthesiser's load of it: the moment another user
// could swap the name. Tests rename something over the name here to show
// the load still reads the file that was checked.
using SoundfontCheckedHook = void (*)(const std::string& soundfont);
void set_soundfont_checked_hook(SoundfontCheckedHook hook);

// The synthesiser library's file name that the first synthesiser opens
// (the build's own by default): tests name one that is not there, to see
// the reason a failed open gives. Set before the first synthesiser is made.
void set_synth_library_name(const char* name);

// The folder Debian's soundfonts are searched in (its sf2/ and sf3/), by
// default /usr/share/sounds: tests name a folder of their own, to see what
// a system without a soundfont says. Set before the first synthesiser is
// made.
void set_soundfont_folder(const char* folder);

// What a failed open's text (the loader's, as dlerror() gives it) says of
// the synthesiser library: the loader leaves errno as it was, but ends the
// text of a failed system call with that call's strerror() text.
SynthLibraryFault synth_library_fault(const std::string& loader_text);

inline uint32_t load_u32le(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace platform::midi_detail
