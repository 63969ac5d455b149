// Stored classes for the object reader fuzz target and its seed writer.
//
// The first input byte sets the stream up (see StreamSetup); the rest is
// the stream. Every object, block and count block made while reading one
// input is owned by an Arena, which frees them all afterwards, so that a
// damaged stream's half-built graphs never leak or free twice.
#pragma once

#include "quarn/quarn.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

namespace quarn_fuzz {

struct Arena;
Arena*& current_arena();

// A node: u32 value, u8 child count (at most 8), the children as objects,
// then a raw block and a shared count block.
struct Node : quarn::io::Object {
    void write(quarn::io::Stream& s) const override;
    void read(quarn::io::IStream& s) override;

    static inline const char* name = "class quarn::cls2::PrimitiveProxy<class quarn::cls2::Box>";
    uint32_t value = 0;
    std::vector<Node*> children;
    std::vector<unsigned char> payload;
    int32_t* count = nullptr;
};

// 12 bytes of data.
struct Leaf : quarn::io::Object {
    void write(quarn::io::Stream& s) const override
    {
        s.write_f32(x);
        s.write_f32(y);
        s.write_u32(flags);
    }
    void read(quarn::io::IStream& s) override { (void)(s.read_f32(x) && s.read_f32(y) && s.read_u32(flags)); }

    static inline const char* name = "struct quarn::dyn::Material";
    float x = 0, y = 0;
    uint32_t flags = 0;
};

// Tracks raw blocks so that the arena can free what the reader allocated.
class TrackingAllocator : public quarn::Allocator {
public:
    void* try_allocate(size_t size) override
    {
        void* p = Allocator::try_allocate(size);
        if (p)
            live.insert(p);
        return p;
    }
    void deallocate(void* p) override
    {
        live.erase(p);
        Allocator::deallocate(p);
    }
    std::set<void*> live;
};

template <class T> class ArenaFactory : public quarn::AbstractFactory {
public:
    ArenaFactory()
        : AbstractFactory(T::name)
    {
    }
    ~ArenaFactory() override { release(); }
    void* create_obj() override
    {
        made.push_back(std::make_unique<T>());
        return static_cast<quarn::io::Object*>(made.back().get());
    }
    void delete_obj(void* p) override
    {
        auto* o = static_cast<T*>(static_cast<quarn::io::Object*>(p));
        made.erase(std::remove_if(made.begin(), made.end(), [o](auto& m) { return m.get() == o; }), made.end());
    }
    void* uninitialized_copy(void*, const void*) override { return nullptr; }
    void release() { made.clear(); }

    std::vector<std::unique_ptr<T>> made;
};

// Count blocks without an object (the arena owns the nodes).
class CountFactory : public quarn::RefsIoFactory<Node> {
public:
    void* create_obj() override
    {
        void* p = RefsIoFactory::create_obj();
        made.push_back(static_cast<int32_t*>(p));
        return p;
    }
    void release()
    {
        for (int32_t* strong : made)
            quarn::release_refs(strong);
        made.clear();
    }
    std::vector<int32_t*> made;
};

struct Arena {
    Arena()
    {
        quarn::Allocator::current(&blocks);
        current_arena() = this;
    }
    ~Arena()
    {
        nodes.release();
        leaves.release();
        counts.release();
        for (void* p : std::vector<void*>(blocks.live.begin(), blocks.live.end()))
            quarn::Allocator::free(p);
        current_arena() = nullptr;
    }
    TrackingAllocator blocks;
    ArenaFactory<Node> nodes;
    ArenaFactory<Leaf> leaves;
    CountFactory counts;
};

inline Arena*& current_arena()
{
    static Arena* arena = nullptr;
    return arena;
}

inline void Node::write(quarn::io::Stream& s) const
{
    s.write_u32(value);
    s.write_u8(static_cast<uint8_t>(children.size()));
    for (const Node* c : children)
        s.write_object(c, name);
    s.write_refs(payload.data(), static_cast<uint32_t>(payload.size()), "struct quarn_fuzz::Payload");
    s.write_refs(count, count ? 4 : 0, quarn::type_name_v<int32_t>);
}

inline void Node::read(quarn::io::IStream& s)
{
    uint8_t n = 0;
    if (!s.read_u32(value) || !s.read_u8(n))
        return;
    for (uint8_t i = 0; i < n && i < 8 && s.good(); ++i)
        children.push_back(dynamic_cast<Node*>(s.read_object()));
    uint32_t size = 0;
    if (auto* bytes = static_cast<unsigned char*>(s.read_refs(nullptr, &size)))
        payload.assign(bytes, bytes + size);
    count = static_cast<int32_t*>(s.read_refs(&current_arena()->counts));
    if (count)
        (void)quarn::refs_from_strong(count)->strong;
}

// The first input byte.
struct StreamSetup {
    uint8_t registry; // bits 0-1: 0 Registry1, 1 Registry2, 2 G1RwRegistry1, 3 G1RwRegistry2
    bool lengths; // bit 2: objects carry data lengths
    bool exceptions; // bit 3: failures throw (mask bad|fail)

    static StreamSetup from(uint8_t b) { return { uint8_t(b & 3), (b & 4) != 0, (b & 8) != 0 }; }
    uint8_t byte() const { return uint8_t(registry | (lengths ? 4 : 0) | (exceptions ? 8 : 0)); }
};

inline std::unique_ptr<quarn::io::Registry> make_registry(uint8_t kind)
{
    switch (kind) {
    case 0:
        return std::make_unique<quarn::io::Registry1>();
    case 1:
        return std::make_unique<quarn::io::Registry2>();
    case 2:
        return std::make_unique<quarn::io::G1RwRegistry1>();
    default:
        return std::make_unique<quarn::io::G1RwRegistry2>();
    }
}

} // namespace quarn_fuzz
