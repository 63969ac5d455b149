// A small program on the library whose log file log_golden_test compares
// with golden_app.log. It writes each kind of line the log knows, then shows
// the error report box, which quotes the log's last lines, and writes the
// box's text to the file named by its argument.
//
// Its settings file beside it (written by the test) silences the info
// messages of "game.quiet".
#include "quarn/quarn.h"

#include "platform/platform.h"

#include <fstream>

namespace {

constexpr quarn::LogChannel track_error("game.track", 1);
constexpr quarn::LogChannel track_warning("game.track", 2);
constexpr quarn::LogChannel track_info("game.track", 4);
constexpr quarn::LogChannel sound_info("game.sound", 4);
constexpr quarn::LogChannel quiet_warning("game.quiet", 2);
constexpr quarn::LogChannel quiet_info("game.quiet", 4);

} // namespace

int main(int argc, char** argv)
{
    platform::use_backend(platform::BackendKind::headless);

    // One line of each level.
    quarn::open_entry(track_error) << "gate 3 is missing" << std::endl;
    quarn::open_entry(track_warning) << "lap " << 2 << " took " << 61.5 << " s" << std::endl;
    quarn::open_entry(track_info) << "6 gates, 3 laps" << std::endl;
    quarn::open_entry(quarn::log_warning) << "no music device" << std::endl;

    // Two lines: the second is indented by the width of the prefix.
    quarn::open_entry(quarn::io::log_error) << "can't read 'car.obst'\nthe file ends early" << std::endl;

    // Two messages of one channel and level continue one line.
    quarn::open_entry(track_info) << "loading... ";
    quarn::open_entry(track_info) << "done" << std::endl;

    // A message of another channel writes the pending text first, under its
    // own prefix, and goes on where it ended.
    quarn::open_entry(sound_info) << "music: ";
    quarn::open_entry(track_warning) << "the car left the track" << std::endl;
    quarn::open_entry(sound_info) << "started" << std::endl;

    // Filtered by the settings file: the info line is not written.
    quarn::open_entry(quiet_info) << "not written" << std::endl;
    quarn::open_entry(quiet_warning) << "written" << std::endl;

    // A library throw is logged before it is thrown.
    try {
        quarn::report_and_throw({"\\game\\track", 42, "loadTrack"}, quarn::io::Failure("can't open 'track.obst'"));
    } catch (const quarn::io::Failure&) {
    }

    (void)quarn::report_error("The race cannot start.", "golden_app", 0, nullptr, nullptr);
    if (argc > 1) {
        auto boxes = platform::shown_boxes();
        std::ofstream out(argv[1], std::ios::binary);
        if (!boxes.empty())
            out << boxes.back().text;
    }
    return 0;
}
