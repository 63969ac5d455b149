// The factory references of the older engine's "rw1" and "rw2" streams,
// which the library only reads.
#include "quarn/Exception.h"
#include "quarn/IStream.h"
#include "quarn/IoLog.h"
#include "quarn/Registry.h"

namespace quarn::io {

namespace {

constexpr uint32_t rw1_no_factory = 0xFFFFFFFF;
constexpr uint16_t rw2_new_name = 0xFFFF;

} // namespace

// Writing a legacy stream fails before anything reaches it.
bool G1RwRegistry1::write_tag(Stream&, const void*, const char*, bool) { throw_exception("NOT IMPLEMENTED"); }
bool G1RwRegistry1::write_factory(Stream&, const char*) { throw_exception("NOT IMPLEMENTED"); }
bool G1RwRegistry2::write_tag(Stream&, const void*, const char*, bool) { throw_exception("NOT IMPLEMENTED"); }
bool G1RwRegistry2::write_factory(Stream&, const char*) { throw_exception("NOT IMPLEMENTED"); }

AbstractFactory* G1RwRegistry1::read_factory(IStream& stream, bool warn)
{
    uint32_t length;
    if (!stream.read_u32(length) || length == rw1_no_factory)
        return nullptr;
    return read_name(stream, length, warn);
}

AbstractFactory* G1RwRegistry2::read_factory(IStream& stream, bool warn)
{
    uint16_t index;
    if (!stream.read_u16(index))
        return nullptr;
    if (index != rw2_new_name)
        return factory_of_id(stream, uint32_t(index) + 1);
    uint32_t length;
    if (!stream.read_u32(length)) {
        detail::log_io(detail::IoLevel::error, 0, "Failed to read factory name length.");
        return nullptr;
    }
    return read_name(stream, length, warn);
}

} // namespace quarn::io
