#include "platform/midi/synth_library.h"

#include "platform/midi/midi_internal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>

#include <dlfcn.h>

namespace platform::midi_detail {

namespace {

std::atomic<const char*> library_name{QUARN_SYNTH_LIBRARY};

struct Opened {
    SynthLibrary functions;
    bool ok = false;
    std::string failure;
};

// A function the library lacks is named in the loader's words, which
// name the library's file too, as a failed open's do.
template <typename Function>
bool find(void* handle, const char* name, Function& function, std::string& failure)
{
    (void)::dlerror();
    function = reinterpret_cast<Function>(::dlsym(handle, name));
    if (!function) {
        const char* why = ::dlerror();
        failure = why ? why : std::string("the synthesiser library has no ") + name;
    }
    return function != nullptr;
}

Opened open_library()
{
    Opened opened;
    // The library's own name for itself, which the build read: a library
    // of another name is another interface. Its functions are bound as
    // they are first called: binding all of them at the open costs a start
    // that plays music more than the few it calls.
    const char* const name = library_name.load();
    void* handle = ::dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        opened.failure = why ? why : std::string("the synthesiser library ") + name + " cannot be opened";
        return opened;
    }
    SynthLibrary& f = opened.functions;
    std::string& e = opened.failure;
    opened.ok = find(handle, "new_fluid_settings", f.new_settings, e) &&
                find(handle, "delete_fluid_settings", f.delete_settings, e) &&
                find(handle, "fluid_settings_setnum", f.settings_setnum, e) &&
                find(handle, "fluid_settings_setint", f.settings_setint, e) &&
                find(handle, "fluid_set_log_function", f.set_log_function, e) &&
                find(handle, "new_fluid_synth", f.new_synth, e) && find(handle, "delete_fluid_synth", f.delete_synth, e) &&
                find(handle, "fluid_synth_sfload", f.sfload, e) &&
                find(handle, "fluid_synth_set_interp_method", f.set_interp_method, e) &&
                find(handle, "fluid_synth_noteoff", f.noteoff, e) && find(handle, "fluid_synth_noteon", f.noteon, e) &&
                find(handle, "fluid_synth_key_pressure", f.key_pressure, e) && find(handle, "fluid_synth_cc", f.cc, e) &&
                find(handle, "fluid_synth_program_change", f.program_change, e) &&
                find(handle, "fluid_synth_channel_pressure", f.channel_pressure, e) &&
                find(handle, "fluid_synth_pitch_bend", f.pitch_bend, e) && find(handle, "fluid_synth_sysex", f.sysex, e) &&
                find(handle, "fluid_synth_all_notes_off", f.all_notes_off, e) &&
                find(handle, "fluid_synth_write_s16", f.write_s16, e);
    // Searched in the library and what it loaded with it; not required.
    f.omp_set_num_threads = reinterpret_cast<void (*)(int)>(::dlsym(handle, "omp_set_num_threads"));
    // The handle stays open: the functions are used until the process ends.
    return opened;
}

} // namespace

SynthLibraryFault synth_library_fault(const std::string& loader_text)
{
    const auto ends_with_error = [&loader_text](int error) {
        return loader_text.ends_with(std::string(": ") + std::strerror(error));
    };
    if (ends_with_error(EMFILE))
        return SynthLibraryFault::open_files;
    if (ends_with_error(ENFILE))
        return SynthLibraryFault::system_files;
    // The loader's own words where mapping a library it opened fails for
    // want of address space, which it gives without the system's text.
    static const char* const memory_texts[] = {
        "failed to map segment from shared object",
        "cannot map zero-fill pages",
        "out of memory",
    };
    if (ends_with_error(ENOMEM) ||
        std::any_of(std::begin(memory_texts), std::end(memory_texts),
                    [&loader_text](const char* text) { return loader_text.find(text) != std::string::npos; }))
        return SynthLibraryFault::memory;
    return SynthLibraryFault::broken;
}

void set_synth_library_name(const char* name) { library_name.store(name); }

const SynthLibrary* synth_library(std::string& failure)
{
    static const Opened opened = open_library();
    if (!opened.ok)
        failure = opened.failure;
    return opened.ok ? &opened.functions : nullptr;
}

} // namespace platform::midi_detail
