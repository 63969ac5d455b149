#include "tools/mkdata/data.h"

#include "tools/mkdata/autopilot.h"
#include "tools/mkdata/config.h"
#include "tools/mkdata/pictures.h"
#include "tools/mkdata/shapes.h"
#include "tools/mkdata/sounds.h"
#include "tools/mkdata/track_check.h"
#include "tools/mkdata/writers.h"

#include "platform/file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace mkdata {

namespace {

bool report(bool ok, const std::string& file)
{
    if (!ok)
        std::fprintf(stderr, "mkdata: cannot write %s\n", file.c_str());
    return ok;
}

// The settings file is the player's once it exists (the game saves the best
// time and the window's place into it), so it is only ever created: "x"
// fails on a file that is there, and that file is left as it is. When it
// is a link (settings kept elsewhere), the file it leads to is created: an
// exclusive create fails on a link even when its target is missing. ""
// when the file is there or was written, else why not.
std::string write_config_if_none(const std::string& name, const std::string& text)
{
    int loop = 0; // a loop ends where no file is, and is reported below
    const std::string file = platform::link_target(name, loop);
    std::FILE* f = std::fopen(file.c_str(), "wx");
    if (!f) {
        const std::error_code error(errno, std::generic_category());
        if (error != std::errc::file_exists)
            return error.message();
        // Kept only when a regular file is really there: a link that still
        // leads nowhere (a loop), a folder or a device is a failure, not the
        // player's settings.
        std::error_code status_error;
        const auto status = std::filesystem::status(file, status_error);
        if (status_error)
            return status_error.message();
        if (std::filesystem::is_directory(status))
            return std::make_error_code(std::errc::is_a_directory).message();
        return std::filesystem::is_regular_file(status) ? "" : "Not a regular file";
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok &= std::fclose(f) == 0;
    if (ok)
        return "";
    const std::string why = std::error_code(errno, std::generic_category()).message();
    std::remove(file.c_str()); // a half file would be kept by the next run
    return why;
}

} // namespace

int write_game_data(const std::string& out)
{
    const std::string data = out + "/DATA/";
    std::error_code error;
    std::filesystem::create_directories(data, error);
    if (error) {
        std::fprintf(stderr, "mkdata: cannot create %s: %s\n", data.c_str(), error.message().c_str());
        return 1;
    }

    const Track track = design_track();
    const std::vector<std::string> faults = check_track(track);
    for (const std::string& f : faults)
        std::fprintf(stderr, "mkdata: track: %s\n", f.c_str());
    if (!faults.empty())
        return 1;

    bool ok = true;
    {
        quarn::cls2::Collidable walls, car;
        build_track_shapes(track, walls);
        build_car_shapes(car);
        write_obst(data + "track.obst", walls);
        write_obst(data + "car.obst", car);
    }
    ok &= report(Autopilot::save(data + "track.path", autopilot_path(track)), "track.path");
    ok &= report(write_jpeg(data + "bkg.jpg", draw_background(track), 92), "bkg.jpg");
    ok &= report(write_bmp(data + "gameover.bmp", draw_game_over()), "gameover.bmp");
    ok &= report(write_bmp(data + "cursor.bmp", draw_cursor()), "cursor.bmp");
    for (int pressed = 0; pressed < 2; ++pressed) {
        const std::string n = std::to_string(pressed);
        ok &= report(write_bmp(data + "but_new" + n + ".bmp", draw_button("NEW", 0x2E9E4F, pressed)), "but_new");
        ok &= report(write_bmp(data + "but_exit" + n + ".bmp", draw_button("EXIT", 0xC0392B, pressed)), "but_exit");
    }
    ok &= report(write_image_set(data + "car.imgs", draw_car_frames(64)), "car.imgs");
    ok &= report(write_font(data + "big-digits", draw_digits_font()), "big-digits");
    for (const Sound& s : make_sounds())
        ok &= report(write_wav(data + s.name + ".wav", s.samples, sound_rate), s.name + ".wav");
    ok &= report(write_file(data + "music.mid", make_music()), "music.mid");
    // The game starts from this copy when race.cfg is missing.
    const std::string shipped = make_config();
    ok &= report(write_file(data + "shipped.cfg", {shipped.begin(), shipped.end()}), "shipped.cfg");
    if (const std::string why = write_config_if_none(out + "/race.cfg", shipped); !why.empty()) {
        std::fprintf(stderr, "mkdata: cannot write race.cfg: %s\n", why.c_str());
        ok = false;
    }
    return ok ? 0 : 1;
}

} // namespace mkdata

