// Where legacy object files come from: the engine library's archive-aware
// input stream, so an image set opens from "DATA/car.imgs" or from a member
// of "DATA.zip" alike.
#include "engine/base/rw_internal.h"

#include "quarn/IArcStream.h"

#include <vector>

namespace {

// Opened raw: header detection would take the legacy header for itself and
// refuse packer 0. The exception mask is 0 so that a failed read ends the
// loop here rather than unwinding through the older layer's callers; the
// bytes are then checked by rwOpenBytes like any other data.
bool read_whole_member(const char* name, std::vector<uint8_t>& bytes)
{
    quarn::io::IArcStream in;
    in.set_flags(quarn::io::Stream::raw_open);
    in.open(name, quarn::open_mode::in | quarn::open_mode::binary, 0);
    if (!in.is_open())
        return false;
    constexpr size_t chunk = 64 * 1024;
    for (;;) {
        const size_t used = bytes.size();
        bytes.resize(used + chunk);
        const size_t got = in.read_some(bytes.data() + used, chunk);
        bytes.resize(used + got);
        if (got < chunk)
            break;
    }
    // A read that failed part-way (bad) leaves a short buffer, which the
    // header and size checks turn into "Can't read after end of file".
    return true;
}

} // namespace

rwCTy* rwRdOpen(const char* name)
{
    std::vector<uint8_t> bytes;
    bool opened = false;
    try {
        opened = read_whole_member(name ? name : "", bytes);
    } catch (const std::bad_alloc&) {
        dbgBreakOnRetry(errReport(ERR_NO_MEMORY));
        return nullptr;
    }
    if (!opened) {
        dbgBreakOnRetry(errReportArg(ERR_OPEN, fileNameForReport(name)));
        return nullptr;
    }
    return rwOpenBytes(bytes.data(), bytes.size(), name);
}
