// The data tool's command line: `mkdata [--] <folder>`, or `-h` / `--help`
// for the usage. Options follow the usual convention: any argument before
// `--` that starts with `-` is an option, and the tool knows only the two
// that ask for the usage.
#pragma once

#include <string>

namespace mkdata {

// What the command line asks for.
struct Command {
    enum class Action {
        make,   // write the data into `folder`
        help,   // print the usage on stdout; status 0
        refuse, // print `complaint` and the usage on stderr; status 2
    };
    Action action = Action::refuse;
    std::string folder;
    std::string complaint;
};

// Reads argv[1] to argv[argc - 1]. An unknown option before `--` is
// refused wherever it stands; otherwise a help option there gets the
// usage, and no folder, more than one or an empty name is refused.
Command parse_command_line(int argc, const char* const* argv);

inline constexpr const char* usage_text = "usage: mkdata [--] <folder>\n"
                                          "       mkdata -h | --help\n"
                                          "Writes the game's data into <folder>/DATA, and <folder>/race.cfg\n"
                                          "where there is none.\n";

} // namespace mkdata
