// The synthesiser's library (FluidSynth), opened when the first
// synthesiser is made instead of when the program is loaded.
#pragma once

#include <fluidsynth.h>

#include <string>

namespace platform::midi_detail {

// The library's functions that the synthesiser calls. The library and the
// ones it needs (sound file formats, sound servers, GLib) are more than a
// quarter of what the program would map before its first line runs: left
// to the loader, an address-space limit the program would refuse with its
// own words ends it in the loader's instead.
struct SynthLibrary {
    decltype(&::new_fluid_settings) new_settings = nullptr;
    decltype(&::delete_fluid_settings) delete_settings = nullptr;
    decltype(&::fluid_settings_setnum) settings_setnum = nullptr;
    decltype(&::fluid_settings_setint) settings_setint = nullptr;
    decltype(&::fluid_set_log_function) set_log_function = nullptr;
    decltype(&::new_fluid_synth) new_synth = nullptr;
    decltype(&::delete_fluid_synth) delete_synth = nullptr;
    decltype(&::fluid_synth_sfload) sfload = nullptr;
    decltype(&::fluid_synth_set_interp_method) set_interp_method = nullptr;
    decltype(&::fluid_synth_noteoff) noteoff = nullptr;
    decltype(&::fluid_synth_noteon) noteon = nullptr;
    decltype(&::fluid_synth_key_pressure) key_pressure = nullptr;
    decltype(&::fluid_synth_cc) cc = nullptr;
    decltype(&::fluid_synth_program_change) program_change = nullptr;
    decltype(&::fluid_synth_channel_pressure) channel_pressure = nullptr;
    decltype(&::fluid_synth_pitch_bend) pitch_bend = nullptr;
    decltype(&::fluid_synth_sysex) sysex = nullptr;
    decltype(&::fluid_synth_all_notes_off) all_notes_off = nullptr;
    decltype(&::fluid_synth_write_s16) write_s16 = nullptr;
    // OpenMP's thread count, from the library's own dependencies; null
    // for a library built without OpenMP.
    void (*omp_set_num_threads)(int) = nullptr;
};

// The library, opened on the first call and kept for the process; null
// when it cannot be opened or lacks a function, and `failure` then says
// why.
const SynthLibrary* synth_library(std::string& failure);

} // namespace platform::midi_detail
