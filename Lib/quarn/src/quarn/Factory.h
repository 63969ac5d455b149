// The factory templates:
//
//  - Factory<T, 3>: makes, copies and deletes T. A static instance
//    registers T under type_name_v<T>:
//        static quarn::Factory<Box, 3> box_factory;
//  - RefsIoFactory<T>: makes the count blocks of shared handles to T that
//    a stream stores as 4-byte blocks under "long"; blocks travel as the
//    address of their `strong` count.
#pragma once

#include "quarn/AbstractFactory.h"
#include "quarn/Object.h"
#include "quarn/PtrRefs.h"
#include "quarn/TypeName.h"

#include <new>
#include <type_traits>

// The shared count of a handle is stored under the type name "long", which
// stored streams use for it: four bytes.
QUARN_TYPE_NAME(int32_t, "long");

namespace quarn {

template <class T, int Kind = 3> class Factory : public AbstractFactory {
    static_assert(Kind == 3, "only factories that create and copy exist");

public:
    Factory()
        : AbstractFactory(type_name_v<T>)
    {
    }
    explicit Factory(const char* name)
        : AbstractFactory(name)
    {
    }

    void* create_obj() override { return to_void(new T()); }
    void delete_obj(void* object) override
    {
        if (object)
            delete from_void(object);
    }
    void* uninitialized_copy(void* storage, const void* source) override
    {
        return to_void(new (storage) T(*from_void(const_cast<void*>(source))));
    }

private:
    // Stored objects travel as their io::Object part.
    static void* to_void(T* object)
    {
        if constexpr (std::is_base_of_v<io::Object, T>)
            return static_cast<io::Object*>(object);
        else
            return object;
    }
    static T* from_void(void* object)
    {
        if constexpr (std::is_base_of_v<io::Object, T>)
            return static_cast<T*>(static_cast<io::Object*>(object));
        else
            return static_cast<T*>(object);
    }
};

template <class T> class RefsIoFactory : public AbstractFactory {
public:
    // Blocks made by this factory hold `object`. Such factories are made
    // for one read and handed to the reader, so by default they register
    // nothing.
    explicit RefsIoFactory(T* object = nullptr, const char* name = nullptr)
        : AbstractFactory(name)
        , object_(object)
    {
    }

    void set_object(T* object) { object_ = object; }
    T* object() const { return object_; }

    // A new block for the object with both counts 0: whoever takes a handle
    // from it raises them. Answers the address of its `strong` count.
    void* create_obj() override { return strong_field(new PtrRefsImpl<T*, CheckedDeleter<T>>(object_)); }
    // Releases a block: strong count first (disposing of the object below
    // 1), then the weak one (freeing the block below 1).
    void delete_obj(void* strong) override { release_refs(static_cast<int32_t*>(strong)); }
    [[noreturn]] void* uninitialized_copy(void*, const void*) override
    {
        throw_factory_exception("q::Factory::uninitialized_copy(): The factory does not support this method.");
    }

    uint32_t block_size() const override { return 4; }
    // The stored count is what the writer's handles were; the reader's
    // handles count afresh from 0, so it is not copied into the block.
    void load_block(void*, const void*, uint32_t) override { }

private:
    T* object_;
};

} // namespace quarn
