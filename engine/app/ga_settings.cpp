// The configuration file's load at start and save at exit, and the
// framework's numeric keys kept inside what the window, the display and
// the main loop can use, so that a typing error in the configuration file
// is reported by its key instead of showing as a failed window or a hang.
#include "engine/app/app_internal.h"

#include "platform/process.h"
#include "platform/shown_text.h"
#include "platform/trust.h"
#include "quarn/Log.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

struct KeyRange {
    const char* name;
    cfgIntRangeTy range;
};

// Sizes beyond any screen, and positions far beyond the largest desktop,
// are typing errors. The depth (only full screen uses it) is checked
// against the display's depths below.
constexpr KeyRange framework_ranges[] = {
    {"WINDOW_X", {.lo = -16384, .hi = 16384, .fallback = 0}},
    {"WINDOW_Y", {.lo = -16384, .hi = 16384, .fallback = 0}},
    {"SCR_LX", {.lo = 1, .hi = 8192, .fallback = 640}},
    {"SCR_LY", {.lo = 1, .hi = 8192, .fallback = 480}},
    // 0 is no limit; a second per frame is the most that makes sense.
    {"FPS_LIMIT", {.lo = 0, .hi = 1000, .fallback = 0}},
};

// The depths the display gives in full screen, whether at the start or
// through Alt+Enter: it has no 8-bit (palettised) screen, and a start
// asked for one would open a window that shows nothing.
bool screen_depth(int bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

} // namespace

void gaCheckSettings(cfgCTy& cfg)
{
    for (const KeyRange& key : framework_ranges)
        (void)cfg.CheckInt(key.name, key.range);
    // The depth as written: "99999999999" reads as INT_MAX.
    int depth = 0;
    if (!cfgWholeNumber(cfg.GetStr("SCR_BPP"), &depth) || !screen_depth(depth)) {
        (void)dbgBreakOnRetry(
            errMessage(ERR_LEVEL_ERROR, "Bad value of SCR_BPP: %s (allowed 15, 16, 24, 32); 16 is used",
                       platform::shown_text(cfg.GetStr("SCR_BPP"), cfgShownValueMost).c_str()));
        cfg.SetInt("SCR_BPP", 16);
    }
}

namespace {

// Where the settings came from, and a save that did not happen.
constinit quarn::LogChannel settings_log_info{"settings", 4};
constinit quarn::LogChannel settings_log_warning{"settings", 2};

// The settings the data tool ships, beside the game's data: a start
// without its configuration file runs on them, not on the framework's
// bare defaults.
constexpr const char* shipped_settings = "shipped.cfg";

std::string settings_file(const gaCTy& app) { return app.appName + ".cfg"; }

// Why the start did not read the settings file `name` whole.
std::string read_failure(const cfgLoadTy& read, const std::string& name)
{
    // The name is the program's with ".cfg": no shorter one stands in,
    // which would be another file, read by no other start of the game.
    if (read.error == ENAMETOOLONG)
        return "the program's name makes its settings file's name (" + std::to_string(name.size()) +
               " bytes) longer than the system takes: rename the program file to a shorter name";
    // Where the letters that decided it stand: UTF-8 text with a picture's
    // bytes in it is mended only where the player finds them.
    if (read.read == cfgReadTy::utf16 || read.read == cfgReadTy::utf32)
        return std::string("it is ") + (read.read == cfgReadTy::utf16 ? "UTF-16 text (two-byte" : "UTF-32 text (four-byte") +
               " letters from line " + std::to_string(read.wideLine) + ", byte offset " + std::to_string(read.wideAt) +
               "), and the settings are read as UTF-8";
    return read.error != 0 ? platform::system_error_text(read.error) : std::string("not read");
}

// A memory failure's report unwinds out of the load to this frame: what
// was read counts, but the file was not read whole.
cfgLoadTy load_quietly(cfgCTy& cfg, const char* fileName)
{
    cfgLoadTy read{cfgReadTy::cut, ENOMEM};
    (void)errTry([&] { read = cfg.Load(fileName); });
    return read;
}

} // namespace

void gaLoadSettings(gaCTy& app)
{
    const std::string name = settings_file(app);
    app.settingsRead = load_quietly(*app.cfg, name.c_str());
    const cfgLoadTy& read = app.settingsRead;
    app.settingsReadWhy.clear();
    if (read.read != cfgReadTy::whole && read.read != cfgReadTy::none) {
        app.settingsReadWhy = read_failure(read, name);
        (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "Can't read file '%s'%s: %s\n %s",
                                         platform::shown_text(name).c_str(),
                                         read.read == cfgReadTy::cut ? " to its end" : "",
                                         app.settingsReadWhy.c_str(),
                                         read.error == ENAMETOOLONG
                                             ? "This run's settings are not saved."
                                             : "The file is kept as it is: this run's settings are not saved."));
    }
    // A file read whole that set nothing (empty, or nothing but damage,
    // such as the NULs a crash leaves) gives no settings, as a missing one
    // gives none: the shipped ones fill in, and the exit saves them in its
    // place, where the framework's bare defaults would stay for good.
    if (read.read == cfgReadTy::cut || (read.read == cfgReadTy::whole && read.variables > 0))
        return;
    const std::string shipped = std::string(app.cfg->GetStr("DATA_DIR")) + "/" + shipped_settings;
    const cfgLoadTy from = load_quietly(*app.cfg, shipped.c_str());
    // DATA_DIR is a setting, and the program's name a file's: their text
    // is shown, not sent as it stands.
    const std::string shown = platform::shown_text(shipped), own = platform::shown_text(name);
    if (from.read == cfgReadTy::whole)
        quarn::open_entry(settings_log_info) << own << " gives no settings: the shipped settings " << shown
                                             << " are used" << std::endl;
    else
        quarn::open_entry(settings_log_warning) << own << " gives no settings, nor does " << shown << " ("
                                                << platform::system_error_text(from.error != 0 ? from.error : ENOENT)
                                                << "): the framework's defaults are used" << std::endl;
}

void gaSaveSettings(gaCTy& app)
{
    // Without its own name the program has no settings file (the start
    // said why): nothing is written, least of all a file named ".cfg".
    if (!app.cfg || app.appName.empty())
        return;
    // Stored whatever WINDOW_STORE_POSITION says: the position of the
    // restored window, also when it is minimised or full screen. The
    // platform answers from what the desktop last reported, without asking
    // it, so this also serves when the display has gone.
    if (app.window) {
        const platform::Point at = platform::normal_window_position(app.window);
        app.cfg->UpdateInt("WINDOW_X", at.x);
        app.cfg->UpdateInt("WINDOW_Y", at.y);
    }
    const std::string name = settings_file(app);
    const std::string shown = std::string("'").append(platform::shown_text(name)).append("'");
    const cfgLoadTy& read = app.settingsRead;
    std::string why;
    int saved = 0;
    if (read.read != cfgReadTy::whole && read.read != cfgReadTy::none)
        why = shown + " could not be read at start (" + app.settingsReadWhy + ")";
    else if ((saved = app.cfg->Save(name.c_str())) == CFG_KEPT_READ_ONLY)
        why = shown + " is read-only";
    else if (saved == CFG_KEPT_OTHERS) // whose it is, as the start names it
        why = shown + " was kept (" + platform::refusal_text(platform::error_untrusted_owner) + ")";
    else
        return; // saved, or the failure was reported with its reason
    std::fprintf(stderr, "%s: the settings were not saved: %s\n", platform::shown_text(app.appName).c_str(),
                 why.c_str());
    quarn::open_entry(settings_log_warning) << "the settings were not saved: " << why << std::endl;
}
