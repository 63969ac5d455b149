#include "img/Failures.h"

#include "quarn/Exception.h"

#include <mutex>
#include <set>
#include <string>

namespace quarn::g {

namespace {

// The library reports origins as "\Lib\quarn\src\img\ImageRow": the path
// from the library root, backslashes, no extension. The throw protocol keeps
// the last origin's pointers, so each text is kept for the whole run.
const char* origin_path(const char* file)
{
    std::string path(file);
    if (const auto root = path.find("Lib/quarn/src/"); root != std::string::npos)
        path.erase(0, root);
    if (const auto dot = path.rfind('.'); dot != std::string::npos && path.find('/', dot) == std::string::npos)
        path.erase(dot);
    for (char& c : path)
        if (c == '/')
            c = '\\';
    path.insert(0, 1, '\\');

    static std::mutex lock;
    static std::set<std::string> paths;
    const std::lock_guard guard(lock);
    return paths.insert(std::move(path)).first->c_str();
}

} // namespace

void throw_not_implemented()
{
    quarn::throw_exception("NOT IMPLEMENTED");
}

void throw_failure(std::string_view text, const char* file, int line, const char* function)
{
    const std::string message(text);
    report_and_throw(ThrowOrigin { origin_path(file), int32_t(line), function }, Exception(message.c_str()));
}

} // namespace quarn::g
