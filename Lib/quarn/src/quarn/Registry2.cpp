// The factory references of native streams: u32 0 and the name the first
// time, the id after. The default registry of every stream.
#include "quarn/Exception.h"
#include "quarn/IStream.h"
#include "quarn/IoLog.h"
#include "quarn/Registry.h"

namespace quarn::io {

bool Registry2::write_factory(Stream& stream, const char* name)
{
    const std::string_view key = name ? name : "";
    if (uint32_t id = written_id(key)) {
        if (!stream.write_u32(id)) {
            detail::log_io(detail::IoLevel::error, 0, "Failed to write factory id.");
            return false;
        }
        return true;
    }
    if (key.empty())
        report_and_throw({ "\\Lib\\quarn\\src\\quarn\\Registry2", 45, "quarn::io::Registry2::write_factory" },
            Exception("Invalid attempt to store empty factory name."));
    if (!stream.write_u32(0)) {
        detail::log_io(detail::IoLevel::error, 0, "Failed to write factory name.");
        return false;
    }
    return write_name(stream, key);
}

AbstractFactory* Registry2::read_factory(IStream& stream, bool warn)
{
    uint32_t id;
    if (!stream.read_u32(id))
        return nullptr;
    if (id != 0)
        return factory_of_id(stream, id);
    uint32_t length;
    if (!stream.read_u32(length)) {
        detail::log_io(detail::IoLevel::error, 0, "Failed to read factory name length.");
        return nullptr;
    }
    return read_name(stream, length, warn);
}

void Stream::create_default_registry()
{
    set_registry(new Registry2);
    owns_registry_ = true;
}

} // namespace quarn::io
