#include "quarn/Registry.h"

#include "quarn/AbstractFactory.h"
#include "quarn/IStream.h"
#include "quarn/IoLog.h"

#include <string>

namespace quarn::io {

namespace {

// The tables start with room for a typical stream's worth of entries.
constexpr size_t table_size_hint = 100;

void log_error(const std::string& text) { detail::log_io(detail::IoLevel::error, 0, text); }

} // namespace

BasicRegistry::BasicRegistry()
{
    tags_.reserve(table_size_hint);
    written_.reserve(table_size_hint);
    factory_ids_.reserve(table_size_hint);
}

void BasicRegistry::clear_ids()
{
    tags_.clear();
    written_.clear();
}

void BasicRegistry::clear_factories()
{
    factories_.clear();
    factory_ids_.clear();
}

bool BasicRegistry::write_tag(Stream& stream, const void* object, const char* factory_name, bool unshared)
{
    uint32_t tag = unshared_tag;
    if (!object) {
        // Even "unshared": there is no data to follow a null object.
        tag = null_tag;
    } else if (!unshared) {
        if (auto known = written_.find(object); known != written_.end()) {
            stream.write_u32(known->second);
            return false;
        }
        // A tag is four bytes in the stream; a 64-bit address does not fit,
        // so each registry numbers its objects.
        if (next_tag_ < 2) {
            log_error("Too many shared objects in one stream.");
            stream.setstate(Stream::fail);
            return false;
        }
        tag = next_tag_++;
    }
    if (!stream.write_u32(tag) || tag == null_tag)
        return false;
    if (!write_factory(stream, factory_name))
        return false;
    if (tag != unshared_tag)
        written_.emplace(object, tag);
    return true;
}

bool BasicRegistry::read_tag(IStream& stream, ObjectRef& ref, uint32_t& tag)
{
    tag = null_tag;
    uint32_t value;
    if (!stream.read_u32(value) || value == null_tag)
        return false;
    tag = value;
    if (value != unshared_tag) {
        if (auto known = tags_.find(value); known != tags_.end()) {
            ref.object = known->second.object;
            ref.block = known->second.block;
            ref.maker = known->second.maker;
            ref.size = known->second.size;
            return false;
        }
    }
    AbstractFactory* factory = read_factory(stream, ref.factory == nullptr);
    if (!ref.factory)
        ref.factory = factory;
    return true;
}

void BasicRegistry::remember(void* object, uint32_t tag)
{
    if (tag != unshared_tag)
        tags_[tag] = Entry { object, nullptr, 0, false };
}

void BasicRegistry::remember_block(void* block, uint32_t tag, const std::type_info* maker, uint32_t size)
{
    if (tag != unshared_tag)
        tags_[tag] = Entry { block, maker, size, true };
}

void BasicRegistry::forget(uint32_t tag)
{
    if (tag != unshared_tag)
        tags_.erase(tag);
}

bool BasicRegistry::skip_tag(IStream& stream)
{
    uint32_t value;
    if (!stream.read_u32(value) || value == null_tag)
        return false;
    if (value != unshared_tag && tags_.count(value))
        return true;
    read_factory(stream, false);
    return true;
}

AbstractFactory* BasicRegistry::read_name(IStream& stream, uint32_t length, bool warn)
{
    if (length == 0 || length > max_factory_name_length) {
        log_error("Invalid factory name length (" + std::to_string(length) + ").");
        InvalidFactoryNameLengthError error(length);
        stream.setstate(Stream::fail, &error);
        return nullptr;
    }
    std::string name(length, '\0');
    if (!stream.sentry() || (stream.read(name.data(), length).state() & Stream::fail)) {
        log_error("Reading factory name failed.");
        return nullptr;
    }
    AbstractFactory* factory = AbstractFactory::lookup(name.c_str());
    // Unknown names take their id too, so that later ids still match the
    // writer's.
    factories_.push_back(factory);
    if (!factory && warn) {
        std::string text = "'";
        text += name.c_str();
        text += "' factory not found.";
        detail::log_io(detail::IoLevel::warning, 0, text);
    }
    return factory;
}

AbstractFactory* BasicRegistry::factory_of_id(IStream& stream, uint32_t id)
{
    const auto count = static_cast<uint32_t>(factories_.size());
    if (id == 0 || id > count) {
        log_error("Invalid factory id (" + std::to_string(id) + ") while loading object. There are "
            + std::to_string(count) + " factories loaded at the time.");
        InvalidFactoryIdError error(id, count);
        stream.setstate(Stream::fail, &error);
        return nullptr;
    }
    return factories_[id - 1];
}

uint32_t BasicRegistry::written_id(std::string_view name) const
{
    auto known = factory_ids_.find(name);
    return known == factory_ids_.end() ? 0 : known->second;
}

uint32_t BasicRegistry::enter_name(std::string_view name)
{
    const auto id = static_cast<uint32_t>(factory_ids_.size() + 1);
    factory_ids_.emplace(std::string(name), id);
    return id;
}

bool BasicRegistry::write_name(Stream& stream, std::string_view name)
{
    // A longer name would be refused by every reader: fail now rather than
    // write a stream that cannot be read back.
    if (name.size() > max_factory_name_length) {
        log_error("Invalid factory name length (" + std::to_string(name.size()) + ").");
        stream.setstate(Stream::fail);
        return false;
    }
    if (!stream.write_u32(static_cast<uint32_t>(name.size())) || !stream.sentry()
        || !stream.write_bytes(name.data(), name.size())) {
        log_error("Failed to write factory name.");
        return false;
    }
    enter_name(name);
    return true;
}

size_t InvalidFactoryNameLengthError::describe(char* buffer, size_t size) const
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    size_t n = append_format(buffer, size, 0, "Invalid factory name length (%u).", length);
    return n + ErrorInfo::describe(buffer + n, size - n);
}

size_t InvalidFactoryIdError::describe(char* buffer, size_t size) const
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    size_t n = append_format(buffer, size, 0,
        "Invalid factory id (%u) while loading object. There are %u factories loaded at "
        "this time.",
        id, count);
    return n + ErrorInfo::describe(buffer + n, size - n);
}

} // namespace quarn::io
