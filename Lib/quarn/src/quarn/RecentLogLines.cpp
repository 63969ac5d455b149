#include "quarn/RecentLogLines.h"

#include <array>

namespace quarn::detail {

namespace {

// Reads one line into `line` (emptied first). False when the input was
// already at its end.
bool read_line(std::streambuf& in, std::string& line)
{
    using traits = std::streambuf::traits_type;
    line.clear();
    bool any = false;
    for (;;) {
        const auto c = in.sbumpc();
        if (traits::eq_int_type(c, traits::eof()))
            break;
        any = true;
        const char ch = traits::to_char_type(c);
        if (ch == '\n')
            break;
        // A NUL would end the text the box is shown with.
        if (ch != '\0' && line.size() < recent_line_limit)
            line += ch;
    }
    // A log written with CR LF line ends reads the same.
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any;
}

} // namespace

std::vector<std::string> recent_log_lines(std::istream& in)
{
    std::vector<std::string> lines;
    std::streambuf* buf = in.rdbuf();
    if (!buf || !in)
        return lines;

    // An overlong line is cut and reading goes on: stopping there would
    // quote old lines under the heading "Recent log entries" and hide the
    // ones written last, which are the ones a report is about (an
    // exception's message line easily runs past the limit).
    std::array<std::string, recent_line_slots> ring;
    size_t slot = 0;
    try {
        while (read_line(*buf, ring[slot]))
            slot = (slot + 1) % ring.size();
    } catch (...) {
        // A failing read ends the tail where it got to.
        ring[slot].clear();
    }

    // Oldest first: the slot after the one where reading stopped.
    for (size_t i = 1; i <= ring.size(); ++i) {
        std::string& line = ring[(slot + i) % ring.size()];
        if (!line.empty())
            lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace quarn::detail
