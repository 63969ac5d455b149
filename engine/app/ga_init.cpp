// The start-up: reporter, defaults, data folder, configuration, single
// instance, timer, window, display, sound, fonts, screen grid, game.
#include "engine/app/app_internal.h"

#include "platform/data_folder.h"
#include "platform/folder.h"
#include "platform/process.h"
#include "platform/shown_text.h"
#include "platform/trust.h"
#include "platform/window.h"
#include "quarn/Log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

std::string gaExePath;
std::string gaDataSearchTop;
int gaRaiseWaitMs = 3000;
bool gaWindowFailed = false;

std::unique_ptr<platform::InstanceLock>& gaInstanceLock()
{
    static std::unique_ptr<platform::InstanceLock> lock;
    return lock;
}

namespace {

// The log's channel for what the data search says.
constinit quarn::LogChannel data_log_warning{"data", 2};

// The name the system gives the folder `dir` (which ends in its
// separator): without the separator, "/" for the root, "." for "".
std::string folder_name(const char* dir)
{
    std::string name = dir;
    if (name.size() > 1)
        name.pop_back();
    return name.empty() ? "." : name;
}

// The folder part of the program's path `path` in rootDir's form: with its
// separator, "" when the path has no folder part. The program's own path
// is cut at '/' alone: on this system "\\" and ':' are ordinary
// characters of a folder's name.
std::string folder_part(const std::string& path)
{
    if (path.find('/') == std::string::npos)
        return {};
    const std::string folder = platform::split_folder_path(path).first;
    return folder == "/" ? folder : folder + "/";
}

// A data folder the search passed over, and why, as the data tool says
// it: "refusing the data folder <path>: <reason, whose, the way out>" for
// one the rule or the judge refused, "can't open the data folder <path>:
// <reason>" for one that could not be opened (too many open files), which
// is no fault of the folder's.
std::string refusal(const std::string& path, int error)
{
    return (platform::data_folder_refused(error) ? "refusing the data folder " : "can't open the data folder ") +
           platform::shown_text(path) + ": " + platform::system_error_text(error);
}

// The data folder `data_dir` of the folder `folder` (rootDir's form; ""
// for the current one): the first of its data folders
// (platform::data_folder_names) that the judge lets through, open, with its
// name in `taken`; else invalid_folder. Each one the judge refuses is
// added to `refused` in the words said, right after its judging, which
// keeps the details of that refusal alone; the first one refused binds the
// start folder's data folder to its reason: until a folder is taken, the
// loads then give the reason the game's own data is not read, not "No such
// file or directory" for files that are there. A name that leads to no
// folder (a link to a file or to nothing, a name gone meanwhile) is no data
// folder and is passed over without a word.
platform::FolderHandle take_data_folder(const std::string& folder, const char* data_dir, std::string& taken,
                                        std::vector<std::string>& refused)
{
    platform::FolderHandle found = platform::invalid_folder;
    int listing_error = 0;
    const std::vector<std::string> names = platform::data_folder_names(folder, data_dir, listing_error);
    // A folder that cannot be listed for want of descriptors or memory may
    // hold the data folder all the same: that reason is said, where "no
    // data folder" would send the player after a folder that is there. One
    // not there, or closed to the player, is passed over as before.
    if (listing_error != 0 && listing_error != ENOENT && listing_error != ENOTDIR && listing_error != EACCES) {
        refused.push_back("can't look for the data folder in " + folder_name(folder.c_str()) + ": " +
                          platform::system_error_text(listing_error));
        if (refused.size() == 1)
            platform::data_folder_bind(data_dir, platform::invalid_folder, listing_error);
    }
    for (const std::string& name : names) {
        const std::string path = folder + name;
        const platform::FolderHandle data = platform::data_folder_open(path.c_str());
        if (data != platform::invalid_folder) {
            if (found == platform::invalid_folder) {
                found = data;
                taken = name;
            } else {
                platform::folder_close(data);
            }
            continue;
        }
        const int error = platform::last_error();
        if (error == ENOENT || error == ENOTDIR)
            continue;
        refused.push_back(refusal(path, error));
        if (refused.size() == 1)
            platform::data_folder_bind(name, platform::invalid_folder, error);
    }
    return found;
}

// No data folder was found and none was refused: the current folder stays
// where the program was started, and its data folder is judged the same
// way, so that one the judge refused is never read, whatever the answer to
// the report was.
void bind_start_folder(const char* data_dir)
{
    std::string name;
    std::vector<std::string> refused;
    const platform::FolderHandle data = take_data_folder("", data_dir, name, refused);
    if (data != platform::invalid_folder)
        platform::data_folder_bind(name, data, 0);
    else if (refused.empty())
        platform::data_folder_bind(data_dir, platform::invalid_folder, ENOENT);
}

// Names a folder passed over while the start goes on, where the player
// looks and in the log.
void say_passed_over(const std::string& program, const std::string& refused, const std::string& after)
{
    std::fprintf(stderr, "%s: %s%s\n", platform::shown_text(program).c_str(), refused.c_str(), after.c_str());
    quarn::open_entry(data_log_warning) << refused << after << std::endl;
}

// The second instance hands over to the first and ends here, saying so
// with the first's process: with status 0 when the first raised its
// window, 1 when it did not (one stuck in a box, without a window on any
// display, or on another display), naming how to end it, as nothing else
// will tell the player why no window comes. It is said on stderr alone:
// the log is the first copy's, which this start leaves untouched.
[[noreturn]] void leave_to_first_instance(const std::string& program, const std::string& lock_path)
{
    using Raise = platform::InstanceLock::Raise;
    const std::string here = platform::InstanceLock::this_display();
    const Raise answer = platform::InstanceLock::ask_holder_to_raise(lock_path, here, gaRaiseWaitMs);
    const platform::InstanceLock::Holder holder = platform::InstanceLock::holder(lock_path);
    const std::string pid = std::to_string(holder.pid);
    const std::string there = platform::shown_text(holder.display);
    std::string said = "another copy of the game is already running";
    if (holder.pid > 0)
        said += " (process " + pid + ")";
    if (answer == Raise::raised) {
        said += "; its window was raised";
        if (here.empty() && !holder.display.empty())
            said += " on display " + there;
    } else {
        if (answer == Raise::no_window)
            said += ", but it shows no window on any display (QUARN_PLATFORM=headless), so none could be raised";
        else if (answer == Raise::other_display)
            said += ", but its window is on display " + there + ", not this one (" + platform::shown_text(here) + ")";
        else
            said += " but does not answer, so its window could not be raised";
        if (holder.pid > 0)
            said += "; end it with `kill " + pid + "` (or `kill -9 " + pid + "` if it does not end) and start again";
        else
            said += "; end the process that holds " + platform::shown_text(lock_path) + " (`fuser -v " +
                    platform::shown_text(lock_path) + "` names it) and start again";
    }
    std::fprintf(stderr, "%s: %s\n", platform::shown_text(program).c_str(), said.c_str());
    std::exit(answer == Raise::raised ? 0 : 1);
}

} // namespace

void gaCTy::FindDataDir()
{
    const std::string exe = gaExePath.empty() ? platform::module_file_name() : gaExePath;
    const int exe_error = exe.empty() ? platform::last_error() : 0;
    SetAppName();
    // rootDir holds any path the system takes; a longer one could not be
    // opened either, and the report names that cause. The system gives no
    // path longer than that at all. Without its path the program knows
    // neither its data folder nor its settings file: it names no settings
    // file (Init then ends the start, and nothing is read or saved).
    if (exe.empty() || exe.size() >= sizeof rootDir) {
        rootDir[0] = '\0';
        appName.clear();
        const unsigned most = sizeof rootDir - 1;
        if (!exe.empty())
            (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR,
                                             "Initialization.\n Can't find data directory: the program's path is %u "
                                             "characters long, and the system takes paths of at most %u.",
                                             static_cast<unsigned>(exe.size()), most));
        else if (exe_error == ENAMETOOLONG)
            (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR,
                                             "Initialization.\n Can't find data directory: the program's path is "
                                             "longer than the system takes (paths of at most %u characters).",
                                             most));
        else
            (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR,
                                             "Initialization.\n Can't find data directory: the system cannot give "
                                             "the program's own path (%s).",
                                             platform::system_error_text(exe_error).c_str()));
        return;
    }
    strCopy(rootDir, sizeof rootDir, folder_part(exe).c_str());
    const char* dataDir = cfg ? cfg->GetStr("DATA_DIR") : "DATA";
    // The search goes up to folders others may have made (a shared /tmp,
    // /home). A data folder the judge refuses (another user's, one every
    // user may write to, one reached through a refused name) is passed
    // over, and named with the reason, whether or not one higher up is
    // taken. The folder taken is bound: every load reads inside the very
    // folder judged, never the name looked up again.
    const std::string program_folder = folder_name(rootDir);
    std::vector<std::string> refused;
    for (;;) {
        std::string name;
        const platform::FolderHandle data = take_data_folder(rootDir, dataDir, name, refused);
        if (data != platform::invalid_folder) {
            const std::string path = std::string(rootDir) + name;
            if (platform::set_current_dir(rootDir)) {
                platform::data_folder_bind(name, data, 0);
                for (const std::string& passed : refused)
                    say_passed_over(appName, passed, "; the game uses the data folder " + platform::shown_text(path));
                return;
            }
            const int error = platform::last_error();
            platform::folder_close(data);
            refused.push_back(refusal(path, error));
            if (refused.size() == 1)
                platform::data_folder_bind(name, platform::invalid_folder, error);
        }
        // One folder up: the folder part of the folder without its
        // trailing separator ("" above the root, or above the first name
        // of a relative path, or past the bound a test set).
        std::string here = rootDir;
        if (!here.empty())
            here.pop_back();
        const bool last = !gaDataSearchTop.empty() && folder_name(rootDir) == gaDataSearchTop;
        strCopy(rootDir, sizeof rootDir, last ? "" : folder_part(here).c_str());
        if (!rootDir[0])
            break;
    }
    // The box names every data folder passed over, in order, as many as
    // its text holds (a report's text is cut at STR_MESSAGE_BUFFER_SIZE);
    // the others are said on their own lines, so that every reason is
    // read whole somewhere.
    constexpr size_t room = STR_MESSAGE_BUFFER_SIZE - 128;
    std::string why;
    std::vector<std::string> on_their_own;
    for (const std::string& passed : refused) {
        if (on_their_own.empty() && why.size() + passed.size() + 2 <= room)
            why += "\n " + passed;
        else
            on_their_own.push_back(passed);
    }
    if (!on_their_own.empty())
        why += "\n (" + std::to_string(on_their_own.size()) + " refused data folder" +
               (on_their_own.size() > 1 ? "s" : "") + " named on stderr and in race.log)";
    if (refused.empty())
        why = "\n No data folder '" + platform::shown_text(dataDir) + "' in " + platform::shown_text(program_folder) +
              " or any folder above it.";
    (void)dbgBreakOnRetry(errMessage(ERR_LEVEL_ERROR, "Initialization.\n Can't find data directory!%s", why.c_str()));
    for (const std::string& passed : on_their_own)
        say_passed_over(appName, passed, "");
    if (refused.empty())
        bind_start_folder(dataDir);
}

void gaCTy::Init()
{
    // Until the lock is decided the log is kept in memory: when another
    // copy runs from this folder, the log file is that copy's, and opening
    // it would empty it. What was kept is written once the lock is ours, or
    // cannot be made (below, and without a path of its own); every other
    // way out before that (an exception, a box's Abort, an exit) drops it,
    // and the file stays as it was. Each box and warning of the start is on
    // stderr too.
    quarn::hold_log_file();
    const std::shared_ptr<void> log_dropped(nullptr, [](void*) { quarn::release_log_file(false); });
    errInitFileMessages();
    errSetBoxHandler(gaOnReport);
    // Installs every draw entry and image creator before anything draws.
    gaEngine.gfxInit();
    SetDefaults();
    FindDataDir();
    // The program's own path was not to be had (reported): no settings file
    // is named, and the entry ends the run with a failure status. Without
    // settings there is no title to ask the lock by, as when it cannot be
    // made: the log is written.
    if (appName.empty()) {
        quarn::release_log_file(true);
        return;
    }

    if (cfg) {
        gaLoadSettings(*this);
        gaCheckSettings(*cfg);
    }

    const char* title = cfg ? cfg->GetStr("WND_NAME") : "";
    platform::InstanceLock::Place lock;
    // A copy whose windows no person sees (the headless backend) says so in
    // the lock: a second start is then never told it raised one.
    std::optional<std::string_view> shown_on;
    const std::string display = platform::InstanceLock::this_display();
    if (platform::windows_on_a_display())
        shown_on = display;
    switch (platform::InstanceLock::acquire(GA_WND_CLASS, title, gaInstanceLock(), &lock, shown_on)) {
    case platform::InstanceLock::Result::acquired:
        break;
    case platform::InstanceLock::Result::other_instance:
        quarn::release_log_file(false);
        leave_to_first_instance(appName, lock.path);
    case platform::InstanceLock::Result::failed:
        // It does not stop the program; it only loses the check, and the
        // person is told why two copies may then run side by side: the
        // folder or file named, and what is wrong with it.
        // FIXME: the log is then written afresh, as by any start, also
        // where another copy runs unseen (this start alone out of
        // descriptors, the folder spoilt after that copy took its lock)
        // and writes the same file; only a lock on the log file itself
        // would tell.
        std::fprintf(stderr, "%s: the lock that keeps a second copy of the game from starting cannot be made (%s: %s)\n",
                     platform::shown_text(appName).c_str(), platform::shown_text(lock.path).c_str(),
                     lock.reason.c_str());
        break;
    }
    quarn::release_log_file(true);

    tmInit();
    gaGuardExit(this);
    // The display can go away under the running game (the X server ends),
    // and the process ends then without the shut-down: the best time just
    // driven is saved first.
    platform::on_display_lost(gaSaveFromACallback);
    // So does Abort in a report's box, which ends the process at once.
    gaHookBoxEnd(true);
    OnPreInit();
    gaWindowFailed = !CreateMainWindow();
    if (gaWindowFailed) {
        // Without a window nothing can be shown and nothing can ask the
        // loop to end; the entry shuts down in order and exits non-zero.
        return;
    }

    gaEngine.sndInit(window);
    // sndInit clears the flag, so it is set after it.
    gaEngine.sndSetGlobalFocus(cfg && cfg->GetInt("SOUNDBUFFER_ENABLE_GLOBAL_FOCUS") ? 1 : 0);
    gaEngine.fntListInit();
    scrInit();
    scrSetOverlay(cfg ? cfg->GetInt("NEED_DRAW_FPS") : 0);
    frameLimit = cfg ? uint32_t(cfg->GetInt("FPS_LIMIT")) : 0;
    OnInit();
}
