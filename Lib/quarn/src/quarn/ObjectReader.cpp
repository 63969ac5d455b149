// Reading objects and blocks, and skipping the objects no factory here can
// make.
#include "quarn/AbstractFactory.h"
#include "quarn/Allocator.h"
#include "quarn/Exception.h"
#include "quarn/IStream.h"
#include "quarn/IoLog.h"
#include "quarn/Object.h"
#include "quarn/ObjectTrace.h"
#include "quarn/Registry.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <typeinfo>
#include <vector>

namespace quarn::io {

namespace {

constexpr uint32_t unknown_length = 0xFFFFFFFF;

// Raw blocks up to this size are allocated before their bytes are read;
// larger counts are read in pieces of this size first, so that a count
// from a damaged file never allocates more than the stream really holds.
constexpr uint32_t block_piece = 64 * 1024;

struct AllocatorFree {
    void operator()(void* p) const { Allocator::free(p); }
};
using RawBlock = std::unique_ptr<void, AllocatorFree>;

void io_error(const char* text) { detail::log_io(detail::IoLevel::error, 0, text); }

} // namespace

Registry* IStream::ensure_registry_()
{
    if (!registry_)
        create_default_registry();
    return registry_;
}

void IStream::refuse_reference_()
{
    io_error("Reference to an object of another kind.");
    setstate(fail);
}

Object* IStream::read_object(AbstractFactory* factory)
{
    Registry* registry = ensure_registry_();
    ObjectRef ref { nullptr, factory };
    uint32_t tag = 0;
    if (!registry->read_tag(*this, ref, tag)) {
        detail::trace(detail::trace_read, "<reference/>");
        if (ref.object && ref.block) {
            refuse_reference_();
            return nullptr;
        }
        return static_cast<Object*>(ref.object);
    }
    if (ref.object)
        throw_exception("NOT IMPLEMENTED");

    if (!ref.factory) {
        if (skip_object()) {
            detail::trace(detail::trace_read, "<skipped/>");
            registry->remember(nullptr, tag);
            detail::log_io(detail::IoLevel::warning, 0, "Object skipped.");
            setstate(lossy);
        }
        return nullptr;
    }
    if (depth_ >= max_depth) {
        io_error("Objects nested too deeply.");
        setstate(fail);
        return nullptr;
    }
    if (flags_ & data_lengths) {
        // The length only serves readers that skip the object.
        uint32_t length;
        if (!read_u32(length))
            return nullptr;
    }
    void* made = ref.factory->create_obj();
    auto* object = static_cast<Object*>(made);
    // Remembered before the data is read: references to the object inside
    // its own data resolve to it.
    registry->remember(made, tag);
    detail::trace_open(detail::trace_read, ref.factory->name());
    ++depth_;
    try {
        object->read(*this);
    } catch (...) {
        --depth_;
        registry->forget(tag);
        ref.factory->delete_obj(made);
        throw;
    }
    --depth_;
    detail::trace(detail::trace_read, "</object>");
    return object;
}

void* IStream::read_refs(AbstractFactory* factory, uint32_t* size)
{
    Registry* registry = ensure_registry_();
    if (size)
        *size = 0;
    ObjectRef ref { nullptr, factory };
    uint32_t tag = 0;
    if (!registry->read_tag(*this, ref, tag)) {
        if (!ref.object)
            return nullptr;
        const std::type_info* wanted = factory ? &typeid(*factory) : nullptr;
        if (!ref.block || !(ref.maker == wanted || (ref.maker && wanted && *ref.maker == *wanted))) {
            refuse_reference_();
            return nullptr;
        }
        if (size)
            *size = ref.size;
        return ref.object;
    }
    if (ref.object)
        throw_exception("NOT IMPLEMENTED");

    uint32_t count;
    if (!read_u32(count))
        return nullptr;
    // Only the caller knows how to release a block, so without a factory of
    // its own it gets raw memory, whatever factory the stream names.
    if (!factory) {
        void* block = read_raw_block_(count);
        if (block) {
            registry->remember_block(block, tag, nullptr, count);
            if (size)
                *size = count;
        }
        return block;
    }
    if (count != factory->block_size()) {
        io_error("Invalid block size.");
        setstate(fail);
        return nullptr;
    }
    std::vector<unsigned char> bytes(count);
    if (!sentry() || (read(bytes.data(), count).state_ & fail))
        return nullptr;
    void* block = factory->create_obj();
    try {
        factory->load_block(block, bytes.data(), count);
    } catch (...) {
        factory->delete_obj(block);
        throw;
    }
    registry->remember_block(block, tag, &typeid(*factory), count);
    if (size)
        *size = count;
    return block;
}

void* IStream::read_raw_block_(uint32_t count)
{
    if (count <= block_piece) {
        RawBlock block(Allocator::allocate(count));
        if (!sentry() || (read(block.get(), count).state_ & fail))
            return nullptr;
        return block.release();
    }
    std::vector<char> staging;
    while (staging.size() < count) {
        const size_t at = staging.size();
        const size_t piece = std::min<size_t>(block_piece, count - at);
        staging.resize(at + piece);
        if (!sentry() || (read(staging.data() + at, piece).state_ & fail))
            return nullptr;
    }
    RawBlock block(Allocator::allocate(count));
    std::memcpy(block.get(), staging.data(), count);
    return block.release();
}

bool IStream::skip_object()
{
    uint32_t length;
    if (!read_u32(length))
        return false;
    const char* problem = nullptr;
    if (!(flags_ & data_lengths))
        problem = "Failed to skip object.";
    else if (length == unknown_length)
        problem = "Data length is not available for skipping.";
    else if (!buffer_ || (state_ & fail)
        || buffer_->pubseekoff(length, std::ios_base::cur, std::ios_base::in) == std::streampos(-1))
        problem = "Seek failed while skipping data.";
    if (problem) {
        io_error(problem);
        setstate(fail);
        return false;
    }
    return true;
}

} // namespace quarn::io
