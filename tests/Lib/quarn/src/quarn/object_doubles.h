// Test doubles of stored classes for the object framing tests: a node that
// holds references to other nodes and a leaf with a fixed payload, made by
// factories that keep track of every object they make and delete what is
// left when they go.
#pragma once

#include "quarn/AbstractFactory.h"
#include "quarn/IStream.h"
#include "quarn/Object.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace quarn_test {

struct Node : quarn::io::Object {
    // Written as: u32 value, u32 child count, the children as objects.
    void write(quarn::io::Stream& s) const override
    {
        s.write_u32(value);
        s.write_u32(static_cast<uint32_t>(children.size()));
        for (const Node* c : children)
            s.write_object(c, name);
    }
    void read(quarn::io::IStream& s) override
    {
        uint32_t n = 0;
        if (!s.read_u32(value) || !s.read_u32(n))
            return;
        for (uint32_t i = 0; i < n && i < 64 && s.good(); ++i)
            children.push_back(dynamic_cast<Node*>(s.read_object()));
        if (value == throw_value)
            throw std::runtime_error("node refused");
    }

    static inline const char* name = "class quarn_test::Node";
    static constexpr uint32_t throw_value = 0xDEAD;
    uint32_t value = 0;
    std::vector<Node*> children; // not owned: the factory owns every node
};

// 12 bytes of data.
struct Leaf : quarn::io::Object {
    void write(quarn::io::Stream& s) const override
    {
        s.write_u32(a);
        s.write_u32(b);
        s.write_u32(c);
    }
    void read(quarn::io::IStream& s) override { (void)(s.read_u32(a) && s.read_u32(b) && s.read_u32(c)); }

    static inline const char* name = "class quarn_test::Leaf<class quarn_test::Tag>";
    uint32_t a = 1, b = 2, c = 3;
};

template <class T> class TrackingFactory : public quarn::AbstractFactory {
public:
    explicit TrackingFactory(const char* name = T::name)
        : AbstractFactory(name)
    {
    }
    ~TrackingFactory() override
    {
        for (T* o : made)
            delete o;
    }

    void* create_obj() override
    {
        made.push_back(new T);
        return static_cast<quarn::io::Object*>(made.back());
    }
    void delete_obj(void* p) override
    {
        T* o = static_cast<T*>(static_cast<quarn::io::Object*>(p));
        made.erase(std::remove(made.begin(), made.end(), o), made.end());
        delete o;
    }
    void* uninitialized_copy(void*, const void*) override { return nullptr; }

    std::vector<T*> made;
};

} // namespace quarn_test
