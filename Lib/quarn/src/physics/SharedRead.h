// Reading shared handles (quarn::RefPtr) from object streams.
//
// A stream stores a shared object as the object itself, then the identity
// of its count block; an object referenced again comes back as the same
// pointer, with the same block. The stream's registry only remembers raw
// pointers, so a damaged stream can pair an object with another object's
// block, leave an object without one, or refer to something that is not
// what the reader expects. A StreamReadScope keeps the bookkeeping that
// makes every such case a stream failure instead of a double delete or a
// leak: which object belongs to which block, everything read (alive until
// the scope ends, so the registry's pointers stay valid), and the raw data
// of materials.
//
// Every physics reader opens a scope for its stream when none is open yet,
// so reading one Collidable (or one primitive) needs nothing more. A caller
// that reads several top-level things from one stream, which may refer to
// each other, keeps one StreamReadScope alive around all of those reads.
#pragma once

#include "quarn/quarn.h"

#include <bit>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quarn::dyn {
struct Material;
}

namespace quarn::cls2 {

class StreamReadScope {
public:
    explicit StreamReadScope(io::IStream& stream);
    ~StreamReadScope();
    StreamReadScope(const StreamReadScope&) = delete;
    StreamReadScope& operator=(const StreamReadScope&) = delete;

    // The innermost scope open for `stream` on this thread, or null.
    static StreamReadScope* find(const io::IStream& stream);

    // A shared T: the object (read by the caller), then its count block.
    template<class T>
    RefPtr<T> read_refs_for(io::IStream& stream, T* object);

    // An object that is not what the reader asked for: it is kept until the
    // scope ends (when nothing else owns it) and the stream fails.
    void refuse_object(io::IStream& stream, io::Object* object);

    // Objects whose read() is running: a reference to one of them from
    // inside its own data must not be taken over by anyone.
    void begin_read(const void* object) { in_progress_.insert(object); }
    void end_read(const void* object) { in_progress_.erase(object); }

    // Materials by the raw data block they were read from (null for data
    // that made no material); the blocks are freed when the scope ends.
    // find_material answers whether the block was seen before.
    bool find_material(void* block, dyn::Material*& material) const;
    void add_material_block(void* block, dyn::Material* material);

private:
    // Records `object` as owned by `block` and keeps one unit of the block
    // until the scope ends.
    void own(const void* object, PtrRefs* block);
    // Parks a block made for this read that no handle will take: its object
    // is somebody else's (or none), so it is emptied first.
    template<class T>
    void park_unused(PtrRefs* block);
    void fail(io::IStream& stream);
    PtrRefs* owner_of(const void* object) const;

    io::IStream* stream_;
    StreamReadScope* outer_;
    std::unordered_map<const void*, PtrRefs*> owners_;
    std::vector<PtrRefs*> held_;
    std::unordered_set<const void*> in_progress_;
    std::unordered_map<void*, dyn::Material*> materials_;
    std::vector<void*> raw_blocks_;
};

// The scope for a stream: the open one, or a new one for as long as this
// object lives.
class ScopeUse {
public:
    explicit ScopeUse(io::IStream& stream);
    StreamReadScope* operator->() const { return scope_; }
    StreamReadScope& operator*() const { return *scope_; }

private:
    std::unique_ptr<StreamReadScope> owned_;
    StreamReadScope* scope_;
};

// Marks an object's read() as running for its whole lifetime.
class ReadInProgress {
public:
    ReadInProgress(io::IStream& stream, const void* object);
    ~ReadInProgress();

private:
    ScopeUse use_;
    const void* object_;
};

// A T written as a shared object: the object through the stream's object
// reading, then its count block.
template<class T>
RefPtr<T> read_shared_object(io::IStream& stream)
{
    ScopeUse use(stream);
    io::Object* read = stream.read_object();
    T* object = dynamic_cast<T*>(read);
    if (read && !object) {
        use->refuse_object(stream, read);
        return {};
    }
    return use->read_refs_for(stream, object);
}

// Writes a handle as read_shared_object reads it.
template<class T>
void write_shared_object(io::Stream& stream, const RefPtr<T>& handle)
{
    static_assert(std::endian::native == std::endian::little, "count blocks are written as they lie in memory");
    stream.write_object(handle.get(), handle ? handle->type_name() : "");
    stream.write_refs(strong_field(handle.refs()), 4, type_name_v<int32_t>);
}

template<class T>
void StreamReadScope::park_unused(PtrRefs* block)
{
    static_cast<PtrRefsImpl<T*, CheckedDeleter<T>>*>(block)->object = nullptr;
    block->add_ref();
    held_.push_back(block);
}

template<class T>
RefPtr<T> StreamReadScope::read_refs_for(io::IStream& stream, T* object)
{
    using Block = PtrRefsImpl<T*, CheckedDeleter<T>>;
    RefsIoFactory<T> factory(object);
    void* strong = nullptr;
    try {
        strong = stream.read_refs(&factory);
    } catch (...) {
        // Keep a fresh object from leaking while the failure passes.
        if (object && !owner_of(dynamic_cast<const void*>(object))
            && !in_progress_.count(dynamic_cast<const void*>(object))) {
            RefPtr<T> adopted(object);
            own(dynamic_cast<const void*>(object), adopted.refs());
        }
        throw;
    }
    // Only blocks of this factory's class come back from read_refs.
    PtrRefs* block = refs_from_strong(static_cast<int32_t*>(strong));
    // A block made by this read has no unit taken yet.
    const bool fresh = block && block->strong == 0 && block->weak == 0;
    if (!object) {
        if (block) {
            if (fresh)
                park_unused<T>(block);
            fail(stream);
        }
        return {};
    }
    const void* key = dynamic_cast<const void*>(object);
    if (in_progress_.count(key)) {
        // Its reader owns it until its read() returns.
        if (fresh)
            park_unused<T>(block);
        fail(stream);
        return {};
    }
    if (PtrRefs* known = owner_of(key)) {
        if (block != known) {
            if (fresh)
                park_unused<T>(block);
            fail(stream);
        }
        return RefPtr<T>(object, known);
    }
    if (block && static_cast<Block*>(block)->object == object) {
        own(key, block);
        return RefPtr<T>(object, block);
    }
    // No block, or one that holds another object: the object gets a block
    // of its own (with no block at all that is the stored form's rule).
    RefPtr<T> adopted(object);
    own(key, adopted.refs());
    if (block)
        fail(stream);
    return adopted;
}

} // namespace quarn::cls2
