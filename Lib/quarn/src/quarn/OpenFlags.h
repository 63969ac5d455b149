// The flags a stream opened by name starts each open with. Internal to the
// library.
//
// Header detection fits the flags to the stream it finds (legacy and
// header-less streams clear Stream::data_lengths, a native header adds its
// own). Without this, a stream object reopened on a file of another kind
// would read it with the previous file's framing.
#pragma once

#include <cstdint>

namespace quarn::io::detail {

class OpenFlags {
public:
    // The flags to open with: those the caller chose, unless the caller has
    // set others since the last open.
    uint32_t before_open(uint32_t current)
    {
        if (!opened_ || current != detected_)
            chosen_ = current;
        opened_ = true;
        return chosen_;
    }
    // The flags as the open left them.
    void after_open(uint32_t flags) { detected_ = flags; }

private:
    uint32_t chosen_ = 0;
    uint32_t detected_ = 0;
    bool opened_ = false;
};

} // namespace quarn::io::detail
