#include "tools/mkdata/command_line.h"

#include <string_view>
#include <vector>

namespace mkdata {

Command parse_command_line(int argc, const char* const* argv)
{
    Command command;
    std::vector<std::string_view> folders;
    std::string_view unknown;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_end || arg.empty() || arg.front() != '-') {
            folders.push_back(arg);
        } else if (arg == "--") {
            options_end = true;
        } else if (arg == "-h" || arg == "--help") {
            command.action = Command::Action::help;
            return command;
        } else if (unknown.empty()) {
            // Kept rather than refused at once: a help option later on
            // still gets its answer.
            unknown = arg;
        }
    }
    if (!unknown.empty())
        command.complaint = "unknown option '" + std::string(unknown) + "'";
    else if (folders.size() != 1)
        command.complaint = folders.empty() ? "no folder given" : "more than one folder given";
    else {
        command.action = Command::Action::make;
        command.folder = folders.front();
    }
    return command;
}

} // namespace mkdata
