#include "platform/process.h"

#include "platform/file.h"
#include "platform/trust.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string.h>
#include <unistd.h>

namespace platform {

std::string module_file_name()
{
    std::string path(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0)
        return {};
    path.resize(static_cast<size_t>(n));
    return path;
}

std::string current_dir()
{
    std::string path(4096, '\0');
    if (!getcwd(path.data(), path.size()))
        return {};
    path.resize(std::strlen(path.c_str()));
    return path;
}

bool set_current_dir(const std::string& path) { return !path.empty() && chdir(path.c_str()) == 0; }

std::string temp_dir()
{
    std::string dir;
    if (const char* env = std::getenv("TMPDIR"); env && *env)
        dir = env;
    else
        dir = "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

std::string system_error_text(int code)
{
    if (code == error_not_regular_file)
        return "Not a regular file";
    if (code == error_untrusted_link)
        return "A link of another user's in a folder every user may write to";
    if (code == error_untrusted_owner)
        return "Owned by another user";
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    std::string result = text ? text : "";
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

int last_error() { return errno; }

void set_last_error(int code) { errno = code; }

void exit_now(int code) { _exit(code); }

bool console_present() { return isatty(STDERR_FILENO) == 1; }

} // namespace platform
