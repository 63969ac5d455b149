#include "tools/mkdata/data.h"

#include "tools/mkdata/autopilot.h"
#include "tools/mkdata/config.h"
#include "tools/mkdata/data_folder.h"
#include "tools/mkdata/pictures.h"
#include "tools/mkdata/shapes.h"
#include "tools/mkdata/sounds.h"
#include "tools/mkdata/track_check.h"
#include "tools/mkdata/writers.h"

#include "platform/file.h"
#include "platform/process.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace mkdata {

namespace {

bool report(bool ok, const std::string& file)
{
    if (!ok)
        std::fprintf(stderr, "mkdata: cannot write %s: %s\n", file.c_str(),
                     platform::system_error_text(platform::last_error()).c_str());
    return ok;
}

std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

// The settings file is the player's once it exists (the game saves the best
// time and the window's place into it), so it is only ever created: "x"
// fails on a file that is there, and that file is left as it is. When it
// is a link (settings kept elsewhere), the file it leads to is created: an
// exclusive create fails on a link even when its target is missing. Only
// links the rule for shared folders lets through are followed (trust.h):
// another user's link in a game folder every user may write to is refused.
// "" when the file is there or was written, else why not.
std::string write_config_if_none(const std::string& name, const std::string& text)
{
    // After 40 links (a loop) the name reached has no file, and is
    // reported below.
    int error = 0;
    const std::string file = platform::link_target(name, error);
    if (error != 0 && error != ELOOP)
        return platform::system_error_text(error);
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
    const std::string data_path = out + "/DATA";
    DataFolder data;
    if (const std::string why = data.open(data_path); !why.empty()) {
        std::fprintf(stderr, "mkdata: refusing the data folder %s: %s\n", data_path.c_str(), why.c_str());
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
        auto shapes = [&data](const char* name, const quarn::cls2::Collidable& c) {
            return report(data.write(name, [&c](platform::FileHandle file) { return write_obst(file, c); }), name);
        };
        ok &= shapes("track.obst", walls);
        ok &= shapes("car.obst", car);
    }
    ok &= report(data.write("track.path", bytes_of(Autopilot::path_text(autopilot_path(track)))), "track.path");
    ok &= report(data.write("bkg.jpg", jpeg_bytes(draw_background(track), 92)), "bkg.jpg");
    ok &= report(data.write("gameover.bmp", bmp_bytes(draw_game_over())), "gameover.bmp");
    ok &= report(data.write("cursor.bmp", bmp_bytes(draw_cursor())), "cursor.bmp");
    for (int pressed = 0; pressed < 2; ++pressed) {
        const std::string n = std::to_string(pressed);
        auto button = [&](const std::string& file, const char* label, uint32_t colour) {
            return report(data.write(file, bmp_bytes(draw_button(label, colour, pressed))), file);
        };
        ok &= button("but_new" + n + ".bmp", "NEW", 0x2E9E4F);
        ok &= button("but_exit" + n + ".bmp", "EXIT", 0xC0392B);
    }
    std::vector<uint8_t> car_frames;
    ok &= report(image_set_bytes(draw_car_frames(64), car_frames) && data.write("car.imgs", car_frames), "car.imgs");
    const FontPicture digits = draw_digits_font();
    ok &= report(data.write("big-digits.fda", font_record(digits)), "big-digits.fda");
    ok &= report(data.write("big-digits.fnt", bmp_bytes(digits.picture)), "big-digits.fnt");
    for (const Sound& s : make_sounds())
        ok &= report(data.write(s.name + ".wav", wav_bytes(s.samples, sound_rate)), s.name + ".wav");
    ok &= report(data.write("music.mid", make_music()), "music.mid");
    // The game starts from this copy when race.cfg is missing.
    const std::string shipped = make_config();
    ok &= report(data.write("shipped.cfg", bytes_of(shipped)), "shipped.cfg");
    if (const std::string why = write_config_if_none(out + "/race.cfg", shipped); !why.empty()) {
        std::fprintf(stderr, "mkdata: cannot write race.cfg: %s\n", why.c_str());
        ok = false;
    }
    return ok ? 0 : 1;
}

} // namespace mkdata

