// The traces of object reading and writing. Internal to the library.
#pragma once

#include "quarn/Log.h"

#include <atomic>
#include <string>
#include <string_view>

namespace quarn::detail {

LogStream* trace_stream();

inline constinit LogChannel trace_read { "quarn.io.read", 4, 0, &trace_stream };
inline constinit LogChannel trace_write { "quarn.io.write", 4, 0, &trace_stream };

// Checked before anything is built, so that tracing costs nothing while it
// goes nowhere.
inline constinit std::atomic<bool> tracing { false };

// "<" and ">" as "&lt;" and "&gt;"; nothing else is escaped.
std::string escape_trace(std::string_view name);

inline void trace(const LogChannel& channel, std::string_view item)
{
    if (tracing.load(std::memory_order_relaxed))
        open_entry(channel) << item << std::endl;
}

// The opening item of an object: <object tag="escaped name">.
void trace_open(const LogChannel& channel, const std::string& factory_name);

} // namespace quarn::detail
