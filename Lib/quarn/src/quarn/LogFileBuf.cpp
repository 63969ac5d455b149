#include "quarn/LogFileBuf.h"

#include "quarn/Log.h"
#include "quarn/LogSystem.h"

#include "platform/debug.h"
#include "platform/shown_text.h"

#include <cstdio>
#include <cstring>

namespace quarn {

namespace {

constexpr size_t put_area = LogFileBuf::buffer_size - 2;

} // namespace

LogFileBuf::LogFileBuf() : echo_(platform::debugger_present()) {}

// The folders of both names may come from a setting or another user's
// folder: the names are shown, never sent as they stand (`passed_over`
// was shown where it was made).
void LogFileBuf::say_where(const std::string& passed_over)
{
    const std::string line = "the log is '" + platform::shown_text(file_name_) + "', not " + passed_over + "\n";
    std::fputs(line.c_str(), stderr);
    (void)file_.write(line.data(), static_cast<uint32_t>(line.size()));
}

void LogFileBuf::say_none(const std::string& first_failure)
{
    const std::string line = "no log could be written: " + first_failure + "\n";
    std::fputs(line.c_str(), stderr);
}

LogFileBuf::~LogFileBuf()
{
    // Text of a message that never ended its line is still worth keeping.
    if (buffer_ && pptr() > pbase())
        flush_text(traits_type::eof());
    // Held output was never known to belong in this file (another running
    // copy may write it): it is dropped, and the file left as it is.
    try {
        release(false);
    } catch (...) {
    }
    detail::LogGate gate;
    file_.close();
}

void LogFileBuf::open_file()
{
    if (file_.is_open() || file_name_.empty())
        return;
    std::string opened;
    std::string passed_over;
    if (open_log_file(file_, file_name_, mode_, &opened, &passed_over)) {
        file_name_ = opened;
        if (!passed_over.empty())
            say_where(passed_over);
    } else {
        if (!passed_over.empty())
            say_none(passed_over);
        file_name_.clear(); // never tried again
    }
}

void LogFileBuf::release(bool keep)
{
    if (!holding_)
        return;
    // Text not yet flushed belongs to what is kept or dropped.
    if (buffer_ && pptr() > pbase())
        flush_text(traits_type::eof());
    holding_ = false;
    std::string held;
    held.swap(held_);
    detail::LogGate gate;
    if (!keep) {
        file_.close();
        file_name_.clear();
        return;
    }
    if (held.empty())
        return;
    open_file();
    if (file_.is_open())
        (void)file_.write(held.data(), static_cast<uint32_t>(held.size()));
}

void LogFileBuf::set_file(const char* name, uint32_t mode)
{
    if (buffer_ && pptr() > pbase())
        flush_text(traits_type::eof());
    if (file_.is_open()) {
        detail::LogGate gate;
        file_.close();
    }
    file_name_ = name ? name : "";
    mode_ = mode | open_mode::out;
}

void LogFileBuf::begin_message(const char* channel, int level, int32_t verbosity)
{
    bool same_channel = (!channel || !*channel) ? (!has_channel_ || channel_.empty())
                                                : (has_channel_ && channel_ == channel);
    if (buffer_ && pptr() > pbase() && (!same_channel || level != level_))
        flush_text(traits_type::eof());
    has_channel_ = channel != nullptr;
    channel_ = channel ? channel : "";
    level_ = level;
    verbosity_ = verbosity;
    prefix_.clear();
    if (has_channel_)
        prefix_ = "[" + channel_ + "] ";
    if (level == log_level_error)
        prefix_ += "error: ";
    else if (level == log_level_warning)
        prefix_ += "warning: ";
    at_message_start_ = true;
    line_ended_ = false;
}

int LogFileBuf::sync() { return flush_text(traits_type::eof()) == traits_type::eof() ? -1 : 0; }

LogFileBuf::int_type LogFileBuf::overflow(int_type c)
{
    if (!(mode_ & open_mode::out))
        return traits_type::eof();
    if (!buffer_) {
        buffer_.reset(new (std::nothrow) char[buffer_size]);
        if (!buffer_)
            return traits_type::eof();
        setp(buffer_.get(), buffer_.get() + put_area);
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    return flush_text(c);
}

LogFileBuf::int_type LogFileBuf::flush_text(int_type c)
{
    const bool has_c = !traits_type::eq_int_type(c, traits_type::eof());
    size_t n = buffer_ ? static_cast<size_t>(pptr() - pbase()) : 0;
    if (n == 0 && !has_c)
        return 0;
    if (!buffer_)
        return traits_type::eof();
    char* text = buffer_.get();
    if (has_c)
        text[n++] = traits_type::to_char_type(c);
    text[n] = '\0';
    setp(buffer_.get(), buffer_.get() + put_area);

    bool written = false;
    try {
        // Nothing the log does with its own file may be logged into it.
        detail::LogGate gate;
        if (!holding_)
            open_file();

        std::string out;
        out.reserve(n + prefix_.size() * 2);
        if (at_message_start_) {
            out = prefix_;
            at_message_start_ = false;
        } else if (line_ended_) {
            out.append(prefix_.size(), ' ');
            line_ended_ = false;
        }
        for (size_t i = 0; i < n; ++i) {
            out += text[i];
            if (text[i] == '\n' && i + 1 < n)
                out.append(prefix_.size(), ' ');
        }
        if (text[n - 1] == '\n')
            line_ended_ = true;

        if (echo_ && level_ != log_level_info)
            platform::debug_output(out);
        if (holding_) {
            held_ += out;
            written = true;
        } else if (file_.is_open()) {
            written = file_.write(out.data(), static_cast<uint32_t>(out.size())) == out.size();
        }
    } catch (...) {
        return traits_type::eof();
    }
    if (!echo_ && !written)
        return traits_type::eof();
    return has_c ? c : 0;
}

} // namespace quarn
