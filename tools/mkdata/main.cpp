// mkdata <folder>: writes the game's data into <folder>/DATA and its
// configuration into <folder>/race.cfg when that file does not exist.
#include "tools/mkdata/command_line.h"
#include "tools/mkdata/data.h"

#include "platform/process.h"

#include <cstdio>
#include <exception>
#include <new>

namespace {

// Before the tool's static objects are built, which allocate where no
// catch can reach.
[[gnu::constructor(101)]] void check_start_memory()
{
    platform::require_start_memory("not enough memory to make the game's data");
}

} // namespace

int main(int argc, char** argv)
{
    platform::make_process_sound();
    try {
        const mkdata::Command command = mkdata::parse_command_line(argc, argv);
        switch (command.action) {
        case mkdata::Command::Action::help:
            std::fputs(mkdata::usage_text, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case mkdata::Command::Action::refuse:
            std::fprintf(stderr, "mkdata: %s\n%s", command.complaint.c_str(), mkdata::usage_text);
            return 2;
        case mkdata::Command::Action::make:
            return mkdata::write_game_data(command.folder);
        }
    } catch (const std::bad_alloc&) {
        // Each data file is renamed into place only once it was written
        // whole, so what memory running out interrupts leaves no file in
        // part. The text is fixed: writing it needs no memory.
        std::fputs("mkdata: not enough memory to make the game's data\n", stderr);
    } catch (const std::exception& e) {
        // quarn::Exception (a physics stream that cannot be written) and
        // any other failure the library reports by throwing.
        std::fprintf(stderr, "mkdata: %s\n", e.what());
    }
    return 1;
}
