// The factory references of header-less native streams: a name the first
// time, u32 0 and the id after.
#include "quarn/Exception.h"
#include "quarn/IStream.h"
#include "quarn/IoFailure.h"
#include "quarn/IoLog.h"
#include "quarn/Registry.h"

namespace quarn::io {

bool Registry1::write_factory(Stream& stream, const char* name)
{
    const std::string_view key = name ? name : "";
    if (uint32_t id = written_id(key)) {
        if (!stream.write_u32(0) || !stream.write_u32(id)) {
            detail::log_io(detail::IoLevel::error, 0, "Failed to write factory id.");
            return false;
        }
        return true;
    }
    if (key.empty())
        report_and_throw({ "\\Lib\\quarn\\src\\quarn\\Registry1", 43, "quarn::io::Registry1::write_factory" },
            Failure("Invalid attempt to store empty factory name."));
    return write_name(stream, key);
}

AbstractFactory* Registry1::read_factory(IStream& stream, bool warn)
{
    uint32_t length;
    if (!stream.read_u32(length))
        return nullptr;
    if (length != 0)
        return read_name(stream, length, warn);
    uint32_t id;
    if (!stream.read_u32(id)) {
        detail::log_io(detail::IoLevel::error, 0, "Failed to read factory id.");
        return nullptr;
    }
    return factory_of_id(stream, id);
}

} // namespace quarn::io
