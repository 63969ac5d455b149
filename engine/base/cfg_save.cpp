// Saving the configuration without ever losing the file that was there.
//
// The configuration is written at every shut-down; writing it in place
// would leave a cut or empty file behind a crash or a full disk. So the
// text goes to a new file beside the old one, pushed to the device, which
// then replaces the old one in one rename. A file that already holds the
// text is left alone.
#include "engine/base/cfg_internal.h"

#include "platform/file.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The file a name stands for: a symbolic link is followed to its target,
// so that the link stays a link and the target gets the new text.
fs::path real_target(const char* fileName)
{
    std::error_code ec;
    const fs::path path(fileName);
    if (!fs::is_symlink(fs::symlink_status(path, ec)))
        return path;
    const fs::path resolved = fs::weakly_canonical(path, ec);
    return ec ? path : resolved;
}

// Writes every variable; 0 or ERR_WRITE. The stream is closed either way.
int write_all(std::FILE* stream, const cfgCTy& cfg)
{
    int code = 0;
    for (uint32_t i = 0; i < cfg.Count() && code == 0; ++i)
        code = cfgFileWriteVar(stream, cfg.At(i)->name, cfg.At(i)->Text());
    if (std::fflush(stream) != 0 || std::ferror(stream))
        code = ERR_WRITE;
    if (std::fclose(stream) != 0)
        code = ERR_WRITE;
    return code;
}

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

// True when the regular file `path` holds exactly `text`.
bool holds_text(const fs::path& path, const std::string& text)
{
    std::error_code ec;
    if (fs::file_size(path, ec) != text.size() || ec)
        return false;
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (!stream)
        return false;
    std::string old(text.size(), '\0');
    const bool same = std::fread(old.data(), 1, old.size(), stream) == old.size() && std::fgetc(stream) == EOF &&
                      old == text;
    std::fclose(stream);
    return same;
}

// The text into a new file, pushed to the device. 0 or ERR_WRITE.
int write_new_file(platform::FileHandle file, const std::string& text)
{
    int code = 0;
    if (platform::file_write(file, text.data(), text.size()) != static_cast<int64_t>(text.size()) ||
        !platform::file_sync(file))
        code = ERR_WRITE;
    if (!platform::file_close(file))
        code = ERR_WRITE;
    return code;
}

int report_write_failure(const char* fileName)
{
    dbgBreakOnRetry(errReportArg(ERR_WRITE, fileNameForReport(fileName)));
    return ERR_WRITE;
}

} // namespace

int cfgCTy::Save(const char* fileName) const
{
    if (!fileName || !*fileName)
        return 0;
    const fs::path target = real_target(fileResolve(fileName).c_str());
    fs::path fresh = target;
    fresh += ".new";
    std::error_code ec;
    // Only a regular file (or none yet) is replaced: a device or a pipe
    // named as the configuration is written to, not swapped for a file.
    const auto old_status = fs::status(target, ec);
    const bool replace = old_status.type() == fs::file_type::regular || old_status.type() == fs::file_type::not_found;
    platform::FileHandle file = platform::invalid_file;
    std::string text;
    if (replace) {
        if (config_text(*this, text) != 0)
            return report_write_failure(fileName);
        // Most shut-downs save what was loaded. A file that holds the text
        // already was pushed to the device when it was written, so it
        // stays as it is, and the save costs no write and no flush.
        if (old_status.type() == fs::file_type::regular && holds_text(target, text))
            return 0;
        fs::remove(fresh, ec); // a leftover of an earlier, interrupted save
        file = platform::file_open(fresh.c_str(), platform::FileOpen::write_truncate);
    }
    if (file == platform::invalid_file) {
        // No new file can be made beside the old one (a read-only folder
        // holding a writable file), or it is no regular file: write it in
        // place after all.
        std::FILE* stream = std::fopen(target.c_str(), "wt");
        if (!stream)
            return report_write_failure(fileName); // a folder in its place, a read-only folder
        return write_all(stream, *this) == 0 ? 0 : report_write_failure(fileName);
    }
    // The old file's permissions before any text goes in.
    if (fs::exists(old_status))
        fs::permissions(fresh, old_status.permissions(), fs::perm_options::replace, ec);
    if (write_new_file(file, text) != 0) {
        fs::remove(fresh, ec);
        return report_write_failure(fileName);
    }
    fs::rename(fresh, target, ec);
    if (ec) {
        fs::remove(fresh, ec);
        return report_write_failure(fileName);
    }
    return 0;
}
