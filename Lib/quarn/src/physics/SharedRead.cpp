#include "physics/SharedRead.h"

namespace quarn::cls2 {

namespace {

// Scopes open on this thread, innermost first.
thread_local StreamReadScope* innermost = nullptr;

} // namespace

StreamReadScope::StreamReadScope(io::IStream& stream)
    : stream_(&stream)
    , outer_(innermost)
{
    innermost = this;
}

StreamReadScope::~StreamReadScope()
{
    innermost = outer_;
    // Last in, first out: whatever was read inside something else goes
    // before it.
    for (auto it = held_.rbegin(); it != held_.rend(); ++it)
        (*it)->release();
    for (void* block : raw_blocks_)
        Allocator::free(block);
}

StreamReadScope* StreamReadScope::find(const io::IStream& stream)
{
    for (StreamReadScope* s = innermost; s; s = s->outer_)
        if (s->stream_ == &stream)
            return s;
    return nullptr;
}

PtrRefs* StreamReadScope::owner_of(const void* object) const
{
    auto it = owners_.find(object);
    return it == owners_.end() ? nullptr : it->second;
}

void StreamReadScope::own(const void* object, PtrRefs* block)
{
    owners_[object] = block;
    block->add_ref();
    held_.push_back(block);
}

void StreamReadScope::fail(io::IStream& stream) { stream.setstate(io::Stream::fail); }

void StreamReadScope::refuse_object(io::IStream& stream, io::Object* object)
{
    const void* key = dynamic_cast<const void*>(object);
    if (!owner_of(key) && !in_progress_.count(key)) {
        RefPtr<io::Object> adopted(object);
        own(key, adopted.refs());
    }
    fail(stream);
}

bool StreamReadScope::find_material(void* block, dyn::Material*& material) const
{
    auto it = materials_.find(block);
    if (it == materials_.end())
        return false;
    material = it->second;
    return true;
}

void StreamReadScope::add_material_block(void* block, dyn::Material* material)
{
    if (materials_.emplace(block, material).second)
        raw_blocks_.push_back(block);
}

ScopeUse::ScopeUse(io::IStream& stream)
    : scope_(StreamReadScope::find(stream))
{
    if (!scope_) {
        owned_ = std::make_unique<StreamReadScope>(stream);
        scope_ = owned_.get();
    }
}

ReadInProgress::ReadInProgress(io::IStream& stream, const void* object)
    : use_(stream)
    , object_(object)
{
    use_->begin_read(object_);
}

ReadInProgress::~ReadInProgress() { use_->end_read(object_); }

} // namespace quarn::cls2
