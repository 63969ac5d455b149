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
#include "platform/folder.h"
#include "platform/process.h"
#include "platform/trust.h"

#include <cerrno>
#include <cstdio>
#include <string>
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

std::string why(int error) { return platform::system_error_text(error); }

// The settings file is the player's once it exists (the game saves the best
// time and the window's place into it), so it is only ever created: "x"
// fails on a file that is there, and that file is left as it is. When it
// is a link of the player's (settings kept elsewhere), the file it leads to
// is created: an exclusive create fails on a link even when its target is
// missing. Anyone else's link is not written through (trust.h): in a
// folder shared with a group, a member could aim it at any file of the
// player's. "" when the file is there or was written, else what failed and
// why: a file that is there is never said to be one that could not be
// written, as nothing was to be written to it.
std::string write_config_if_none(const std::string& name, const std::string& text)
{
    // After 40 links (a loop) the name reached has no file, and is
    // reported below.
    int error = 0;
    const std::string file = platform::write_target(name, error);
    if (error != 0 && error != ELOOP)
        return "cannot look for race.cfg: " + why(error);
    // Made new where nothing has the name, by the walk that judges every
    // name on the way.
    const platform::FileHandle made = platform::file_open(file.c_str(), platform::FileOpen::create_new);
    if (made == platform::invalid_file) {
        if (platform::last_error() != EEXIST)
            return "cannot write race.cfg: " + why(platform::last_error());
        const auto [folder_path, last] = platform::split_folder_path(file);
        {
            // Closed before the open below, which walks to the file again.
            const platform::OpenFolder folder(folder_path, platform::FolderFor::writing);
            if (folder.handle == platform::invalid_folder)
                return "cannot check the race.cfg that is there: " + why(platform::last_error());
            platform::NameStatus status;
            if (platform::folder_name_status(folder.handle, last.c_str(), status) && status.link &&
                !platform::may_use(folder.handle, last.c_str(), status, platform::NameUse::write_through, file))
                return "cannot write race.cfg: " + why(platform::last_error());
        }
        // Kept only when a regular file is really there: a link that still
        // leads nowhere (a loop), a folder or a device is a failure, not the
        // player's settings.
        const platform::FileHandle there = platform::file_open(file.c_str(), platform::FileOpen::read_existing);
        if (there == platform::invalid_file)
            return "cannot open the race.cfg that is there: " + why(platform::last_error());
        (void)platform::file_close(there);
        return "";
    }
    const platform::MadeFile identity = platform::made_file(made);
    error = platform::file_write_all(made, text.data(), text.size());
    if (!platform::file_close(made) && error == 0)
        error = platform::last_error();
    if (error == 0)
        return "";
    // A half file would be kept by the next run.
    const auto [folder_path, last] = platform::split_folder_path(file);
    const platform::OpenFolder folder(folder_path, platform::FolderFor::writing);
    if (folder.handle != platform::invalid_folder)
        (void)platform::folder_remove_made(folder.handle, last.c_str(), identity);
    return "cannot write race.cfg: " + why(error);
}

} // namespace

int write_game_data(const std::string& out)
{
    const std::string data_path = out + "/DATA";
    DataFolder data;
    if (const std::string why = data.open(data_path); !why.empty()) {
        std::fprintf(stderr, "mkdata: %s\n", why.c_str());
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
    if (const std::string failure = write_config_if_none(out + "/race.cfg", shipped); !failure.empty()) {
        std::fprintf(stderr, "mkdata: %s\n", failure.c_str());
        ok = false;
    }
    return ok ? 0 : 1;
}

} // namespace mkdata

