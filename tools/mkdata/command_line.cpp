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
    bool help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_end || arg.empty() || arg.front() != '-') {
            folders.push_back(arg);
        } else if (arg == "--") {
            options_end = true;
        } else if (arg == "-h" || arg == "--help") {
            help = true;
        } else if (unknown.empty()) {
            unknown = arg;
        }
    }
    // An unknown option is refused wherever it stands, also beside a help
    // option: a mistyped command line is said to be one.
    if (!unknown.empty())
        command.complaint = "unknown option '" + std::string(unknown) + "'";
    else if (help)
        command.action = Command::Action::help;
    else if (folders.size() != 1)
        command.complaint = folders.empty() ? "no folder given" : "more than one folder given";
    // An empty name would be taken for the root folder ("" + "/DATA").
    else if (folders.front().empty())
        command.complaint = "the folder's name is empty";
    else {
        command.action = Command::Action::make;
        command.folder = folders.front();
    }
    return command;
}

} // namespace mkdata
