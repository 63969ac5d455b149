// One running copy per window class and title.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

// Held by the first instance for as long as it lives. The desktop offers no
// portable way to find another process's window by its class and title, so
// the first instance holds an exclusive lock on a file in the temporary
// directory whose name is made from the class and the title; a second
// instance finds the lock taken. The lock ends with the holder, also when it
// crashes, so a stale file never blocks a new start. Bringing the first
// instance's window to the front is not offered.
class InstanceLock {
public:
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    const std::string& path() const { return path_; }

    enum class Result { acquired, other_instance, failed };

    // `lock` receives the held lock when the result is acquired.
    [[nodiscard]] static Result acquire(std::string_view class_name, std::string_view title,
                                        std::unique_ptr<InstanceLock>& lock);

    // The lock file's path for a class and title.
    static std::string lock_path(std::string_view class_name, std::string_view title);

private:
    InstanceLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_;
    std::string path_;
};

} // namespace platform
