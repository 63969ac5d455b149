// Per-channel log limits and the ".log.ini" settings grammar.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quarn {

// Levels of log messages, as indexes of LogSettings::limit.
enum LogLevel : int { log_level_error = 0, log_level_warning = 1, log_level_info = 2 };

struct LogSettings {
    static constexpr int32_t unlimited = 0x7fffffff;

    // Messages pass only while the counter is below 1.
    int32_t counter = 0;
    // A message of a level passes when its verbosity is at most the limit.
    int32_t limit[3] = {unlimited, unlimited, unlimited};

    bool passes(int level, int32_t verbosity) const { return counter < 1 && verbosity <= limit[level]; }
};

// Records by channel name. "*" holds the defaults (copied into every record
// made later, and used by unnamed channels); "!" is the gate every message
// passes first. Records never move once made, so callers may keep pointers.
class LogSettingsTable {
public:
    // The record of a name; "*" and "!" give the built-in records, any other
    // name is made as a copy of "*" when missing.
    LogSettings& find(std::string_view name);
    LogSettings& defaults() { return defaults_; }
    LogSettings& gate() { return gate_; }
    // Copies "*" over every record of the table.
    void spread_defaults();
    size_t size() const { return records_.size(); }

private:
    LogSettings defaults_;
    LogSettings gate_;
    std::unordered_map<std::string, LogSettings> records_;
};

// Applies settings text to the table. Sections "[name]" choose the channel;
// a level word (error, warning, info: only the first letter counts) binds
// the next value to that level, otherwise a value applies to all three:
// "+*" lifts the limit, "-*" silences, "+N" raises the limit to N, "-N"
// lowers it to N - 1, "=N" sets it, and a value of 0 sets exactly 0; a lone
// "*" is "+*". ";" and "//" start comments, "#" a directive line (ignored).
// Never throws. Text it cannot use is skipped: unknown characters one by
// one, and a line holding "+=" or "-=" (an operator the format never had)
// from that point to its end, with a note in `problems` when given.
void parse_log_settings(std::string_view text, LogSettingsTable& table, std::vector<std::string>* problems = nullptr);

} // namespace quarn
