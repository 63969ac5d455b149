// Saving the configuration without ever losing the file that was there.
//
// The configuration is written at every shut-down; writing it in place
// would leave a cut or empty file behind a crash or a full disk. So the
// text goes to a new file beside the old one, pushed to the device, which
// then replaces the old one in one rename. A file that already holds the
// text is left alone, and so is one its owner made read-only, and one that
// is not the player's to replace (trust.h). Where no new file can be made,
// the old one is rewritten in place only after the space for its new text
// was reserved.
#include "engine/base/cfg_internal.h"

#include "platform/file.h"
#include "platform/folder.h"
#include "platform/process.h"
#include "platform/trust.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

void (*cfgBeforeRenameForTest)() = nullptr;

namespace {

// The whole text as it goes into the file. 0 or ERR_WRITE.
int config_text(const cfgCTy& cfg, std::string& text)
{
    for (uint32_t i = 0; i < cfg.Count(); ++i) {
        if (cfgWriteFailsNow())
            return ERR_WRITE;
        text += cfg.At(i)->name;
        text += " = ";
        text += cfg.At(i)->Text();
        text += '\n';
    }
    return 0;
}

// True when the regular file `name` of the folder, the very one judged as
// `judged`, holds exactly `text`.
bool holds_text(platform::FolderHandle folder, const std::string& name, const platform::NameStatus& judged,
                const std::string& text)
{
    const platform::FileHandle file =
        platform::folder_open_judged(folder, name.c_str(), platform::FileOpen::read_existing, judged);
    if (file == platform::invalid_file)
        return false;
    bool same = platform::file_size(file) == static_cast<int64_t>(text.size());
    std::string old(text.size(), '\0');
    for (size_t done = 0; same && done < old.size();) {
        const int64_t got = platform::file_read(file, old.data() + done, old.size() - done);
        same = got > 0;
        done += got > 0 ? static_cast<size_t>(got) : 0;
    }
    (void)platform::file_close(file);
    return same && old == text;
}

// The text into a new file, pushed to the device. 0 or the error number;
// the file is closed either way.
int write_new_file(platform::FileHandle file, const std::string& text)
{
    int error = platform::file_write_all(file, text.data(), text.size());
    if (error == 0 && !platform::file_sync(file))
        error = platform::last_error();
    if (!platform::file_close(file) && error == 0)
        error = platform::last_error();
    return error;
}

// The reason tells the player what to do: free some space, move a folder
// out of the way, save elsewhere.
int report_write_failure(const char* fileName, int error)
{
    static char text[STR_MESSAGE_BUFFER_SIZE];
    strQuoteName(text, sizeof text, "Can't write to file '", fileName,
                 ("': " + platform::system_error_text(error)).c_str());
    dbgBreakOnRetry(errReportEx(nullptr, ERR_LEVEL_ERROR, ERR_WRITE, 0, text, nullptr, nullptr, -1));
    return ERR_WRITE;
}

// No new file can be made beside the old one (a folder the player cannot
// write to, holding a file they can): the old file, the very one judged as
// `judged`, is rewritten in place; a link or another file put at its name
// since is not opened (ELOOP, ESTALE). Its new length is reserved first,
// so that a full disk fails before the first byte changes and leaves the
// file whole. A file with a second name is left whole too: the rewrite
// would change that name's file. 0 or the error number.
int rewrite_in_place(platform::FolderHandle folder, const std::string& name, const platform::NameStatus& judged,
                     const std::string& text)
{
    // Read and write: the reserve reads the blocks it fills where the file
    // system has no way to reserve space.
    const platform::FileHandle file =
        platform::folder_open_judged(folder, name.c_str(), platform::FileOpen::read_write_existing, judged);
    if (file == platform::invalid_file)
        return platform::last_error();
    const auto size = static_cast<int64_t>(text.size());
    int error = 0;
    if (platform::file_has_second_name(file))
        error = platform::error_second_name;
    else if (!platform::file_reserve(file, size))
        error = platform::last_error();
    else if ((error = platform::file_write_all(file, text.data(), text.size())) == 0 &&
             (!platform::file_resize(file, size) || !platform::file_sync(file)))
        error = platform::last_error();
    if (!platform::file_close(file) && error == 0)
        error = platform::last_error();
    return error;
}

// The new file beside `target` (shown as `shown`), made here and now
// under the first free name of "<name>.new", "<name>.1.new" ...
// "<name>.99.new": in a folder others may write to, a link planted at a
// name would have the text written where it leads, so a name that is
// taken (and is no leftover of the player's that can be removed) is passed
// over, never opened. The name made goes to `fresh`; invalid_file with the
// error number otherwise, naming the first name taken and whose it is.
platform::FileHandle make_new_file(platform::FolderHandle folder, const std::string& name, const std::string& shown,
                                   std::string& fresh)
{
    const auto new_name = [&name](int n) {
        std::string fresh = name;
        if (n > 0)
            fresh.append(".").append(std::to_string(n));
        return fresh.append(".new");
    };
    return platform::folder_create_first_free(folder, new_name, 100, true, shown.substr(0, shown.size() - name.size()),
                                              fresh);
}

// What the save may do with the name it is to replace.
enum class OldFile {
    none,           // nothing has the name
    replace,        // a file the player's new one may take the place of
    kept_read_only, // the player's own, made read-only
    kept_others,    // not the player's to replace (the refusal is kept)
    failed,         // no settings file, or not to be looked at: `error`
};

// Judges what has the name `name` of the folder now (`old` gets its status)
// by the rule every open follows (trust.h), the refusal kept under `shown`.
OldFile judge_old_file(platform::FolderHandle folder, const std::string& name, const std::string& shown,
                       platform::NameStatus& old, int& error)
{
    if (!platform::folder_name_status(folder, name.c_str(), old)) {
        error = platform::last_error();
        return error == ENOENT ? OldFile::none : OldFile::failed;
    }
    // A link of anyone else's is theirs: the save does not write where it
    // leads, nor replace it, and it is kept as their file is.
    if (old.link && !platform::may_use(folder, name.c_str(), old, platform::NameUse::write_through, shown))
        return OldFile::kept_others;
    // Only a regular file is written, or made where there is none: a FIFO
    // would hold the save in the open, and a device is no settings file.
    if (old.folder || !old.regular) {
        error = old.folder ? EISDIR : platform::error_not_regular_file;
        return OldFile::failed;
    }
    // The rename would make another user's file the player's, with the
    // player's settings in it: another user's in a folder every user may
    // write to is kept whatever its mode, as is one of root's or of a group
    // member's that the player may not write.
    if (!platform::may_use(folder, name.c_str(), old, platform::NameUse::replace, shown))
        return OldFile::kept_others;
    // Mode 444 is how a player freezes the settings: the rename would go
    // past it.
    if ((old.mode & 0200) == 0)
        return OldFile::kept_read_only;
    return OldFile::replace;
}

int kept_result(OldFile verdict) { return verdict == OldFile::kept_read_only ? CFG_KEPT_READ_ONLY : CFG_KEPT_OTHERS; }

// The rewrite in place of the file judged as `old`. What was put at the
// name since (a link, another file) is judged anew, as before a rename,
// and the rewrite goes only to a file of the player's to replace. 0, a
// kept result, or the error number (negative).
int rewrite_judged(platform::FolderHandle folder, const std::string& name, const std::string& shown,
                   platform::NameStatus& old, const std::string& text)
{
    int error = 0;
    for (int tries = 0; tries < 3; ++tries) {
        error = rewrite_in_place(folder, name, old, text);
        if (error != ELOOP && error != ESTALE)
            return -error;
        const OldFile verdict = judge_old_file(folder, name, shown, old, error);
        if (verdict == OldFile::kept_read_only || verdict == OldFile::kept_others)
            return kept_result(verdict);
        if (verdict != OldFile::replace)
            return -(verdict == OldFile::none ? ENOENT : error);
    }
    return -error;
}

// Gives the new file `fresh` the name `name`, and removes it where it does
// not get the name. What has the name is judged again as close to the
// rename as can be, in the same folder: in a folder every user may write
// to, another user's file may have appeared there since the first look,
// and the rename would take it over. Where nothing has the name, the rename
// makes it only while nothing does, and what appeared meanwhile is judged
// in turn. What is left is the moment between the last look and the rename
// in a folder without the sticky bit, where the player's own file may be
// swapped for another's: the rename then puts the player's file, with the
// player's mode, in its place. 0, a kept result, or the error number
// (negative).
int put_in_place(platform::FolderHandle folder, const std::string& fresh, const platform::MadeFile& made,
                 const std::string& name, const std::string& shown, const std::string& text)
{
    int error = EEXIST;
    for (int tries = 0; tries < 3; ++tries) {
        platform::NameStatus now;
        const OldFile verdict = judge_old_file(folder, name, shown, now, error);
        if (verdict == OldFile::none && platform::folder_rename_new(folder, fresh.c_str(), name.c_str()))
            return 0;
        if (verdict == OldFile::replace && platform::folder_rename(folder, fresh.c_str(), name.c_str()))
            return 0;
        if (verdict == OldFile::none || verdict == OldFile::replace)
            error = platform::last_error();
        if (verdict == OldFile::none && error == EEXIST)
            continue;
        (void)platform::folder_remove_made(folder, fresh.c_str(), made);
        // A name that no rename may replace: a file mounted over it (a
        // dotfiles manager's bind mount, EBUSY), or one on another mount
        // (EXDEV). The file judged is rewritten in place instead.
        if (verdict == OldFile::replace && (error == EBUSY || error == EXDEV))
            return rewrite_judged(folder, name, shown, now, text);
        if (verdict == OldFile::kept_read_only || verdict == OldFile::kept_others)
            return kept_result(verdict);
        return -error;
    }
    (void)platform::folder_remove_made(folder, fresh.c_str(), made);
    return -error;
}

// The permissions of the new file, set before any text goes in: those of
// the player's own file. A file of anyone else's may have a mode chosen
// for them (root's 0666, a member's 6777) that is no settings file's: in a
// folder shared with a group, the member's read and write bits for the
// group stay the group's, and others may read it as they could; nothing
// else is copied, neither execute bits nor setuid, setgid or others'
// writing. Elsewhere, and where there was no file, the new one is the
// player's to write and everyone's to read, as a file made under the
// usual umask is.
uint32_t new_file_mode(platform::FolderHandle folder, bool exists, const platform::NameStatus& old)
{
    if (exists && platform::player_owns(old.owner))
        return old.mode;
    if (exists && platform::folder_shared_with_group(folder))
        return 0600 | (old.mode & 0064);
    return 0644;
}

} // namespace

int cfgCTy::Save(const char* fileName) const
{
    if (!fileName || !*fileName)
        return 0;
    int error = 0;
    // Through the player's own links at the name, so that a link stays a
    // link and its target gets the new text (or is made). Anyone else's
    // link is where the walk stops, and it is kept as their file would be.
    const std::string target = platform::write_target(fileResolve(fileName), error);
    if (error != 0)
        return report_write_failure(fileName, error);
    // The folder holding the file is opened once, every name on the way
    // judged; all that follows happens inside that very folder.
    const auto [folder_path, name] = platform::split_folder_path(target);
    const platform::OpenFolder folder(folder_path, platform::FolderFor::writing);
    if (folder.handle == platform::invalid_folder)
        return report_write_failure(fileName, platform::last_error());
    platform::NameStatus old;
    const OldFile verdict = judge_old_file(folder.handle, name, target, old, error);
    if (verdict == OldFile::failed)
        return report_write_failure(fileName, error);
    if (verdict != OldFile::none && verdict != OldFile::replace)
        return kept_result(verdict);
    const bool exists = verdict == OldFile::replace;
    std::string text;
    if (config_text(*this, text) != 0)
        return report_write_failure(fileName, ENOSPC);
    // Most shut-downs save what was loaded. A file that holds the text
    // already was pushed to the device when it was written, so it stays as
    // it is, and the save costs no write and no flush.
    if (exists && holds_text(folder.handle, name, old, text))
        return 0;
    std::string fresh;
    const platform::FileHandle file = make_new_file(folder.handle, name, target, fresh);
    if (file == platform::invalid_file && !exists)
        return report_write_failure(fileName, platform::last_error());
    if (file == platform::invalid_file) {
        if (cfgBeforeRenameForTest)
            cfgBeforeRenameForTest();
        const int rewritten = rewrite_judged(folder.handle, name, target, old, text);
        return rewritten < 0 ? report_write_failure(fileName, -rewritten) : rewritten;
    }
    const platform::MadeFile made = platform::made_file(file);
    (void)platform::file_set_permissions(file, new_file_mode(folder.handle, exists, old));
    if ((error = write_new_file(file, text)) != 0) {
        (void)platform::folder_remove_made(folder.handle, fresh.c_str(), made);
        return report_write_failure(fileName, error);
    }
    if (cfgBeforeRenameForTest)
        cfgBeforeRenameForTest();
    const int placed = put_in_place(folder.handle, fresh, made, name, target, text);
    return placed < 0 ? report_write_failure(fileName, -placed) : placed;
}
