// Registries: the per-stream state that numbers factories and shared
// objects, one class per stream format.
//
// Before each object a stream stores a u32 tag (0 = no object, 1 = an
// unshared object, else the identity of a shared one) and, for an object
// not seen before, a reference to its factory. A registry writes and reads
// both; the four registries differ in the factory reference (all integers
// little-endian):
//
//   registry      format              first reference          later          no factory
//   Registry1     header-less native  u32 L, L name bytes      u32 0, u32 id  -
//   Registry2     native (default)    u32 0, u32 L, name       u32 id         -
//   G1RwRegistry1 legacy "rw1"        u32 L, name (every time) the same       u32 0xFFFFFFFF
//   G1RwRegistry2 legacy "rw2"        u16 0xFFFF, u32 L, name  u16 id - 1     -
//
// Ids count from 1 in the order of first appearance; a name that has no
// factory here still takes an id, so later ids stay in step with the
// writer. Name lengths are 1 to 4096. Legacy streams are read-only.
//
// Tags of shared objects are handed out per registry (2, 3, ...) from the
// object's address, so no two objects of one stream share a tag whatever
// the width of a pointer. Diagnostics go to the "quarn.io" channels.
#pragma once

#include "quarn/ErrorInfo.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <vector>

namespace quarn {
class AbstractFactory;
}

namespace quarn::io {

class Stream;
class IStream;

// What a tag read from a stream refers to. For a known tag, read_tag also
// tells what was recorded under it, so that a reader never hands out a raw
// block as an object or a block of one maker as another's.
struct ObjectRef {
    void* object = nullptr;
    AbstractFactory* factory = nullptr;
    bool block = false;
    const std::type_info* maker = nullptr; // a block's factory class; null for raw memory
    uint32_t size = 0; // a block's byte count
};

inline constexpr uint32_t null_tag = 0;
inline constexpr uint32_t unshared_tag = 1;
inline constexpr uint32_t max_factory_name_length = 4096;

class Registry {
public:
    virtual ~Registry() = default;

    // Forgets all objects and all factories.
    virtual void clear()
    {
        clear_ids();
        clear_factories();
    }
    virtual void clear_ids() = 0;
    virtual void clear_factories() = 0;

    // Writes the tag of `object` (0 for null, 1 when `unshared`) and, when
    // its data must follow, its factory reference. True when the data must
    // follow: false for null, for a shared object already written and on
    // failure.
    virtual bool write_tag(Stream& stream, const void* object, const char* factory_name, bool unshared) = 0;
    // Reads a tag into `tag`. True when a new object's data follows; then
    // ref.factory is the factory referenced (when it was null). False for
    // tag 0, a failed read or a known tag, whose object is put in
    // ref.object.
    virtual bool read_tag(IStream& stream, ObjectRef& ref, uint32_t& tag) = 0;
    // Records the object read under a tag (tag 1 is never recorded).
    virtual void remember(void* object, uint32_t tag) = 0;
    // Records a block of `size` bytes, made by a factory of class `maker`
    // (null: raw memory from the allocator).
    virtual void remember_block(void* block, uint32_t tag, const std::type_info* maker, uint32_t size) = 0;
    virtual void forget(uint32_t tag) = 0;
    // Reads a tag and passes over a new object's factory reference. False
    // for a failed read or tag 0.
    virtual bool skip_tag(IStream& stream) = 0;

    virtual bool write_factory(Stream& stream, const char* name) = 0;
    // The factory referenced, or null (unknown names, failures).
    virtual AbstractFactory* read_factory(IStream& stream, bool warn) = 0;
};

// The tables every registry keeps; the factory reference is per subclass.
class BasicRegistry : public Registry {
public:
    BasicRegistry();

    void clear_ids() override;
    void clear_factories() override;
    bool write_tag(Stream& stream, const void* object, const char* factory_name, bool unshared) override;
    bool read_tag(IStream& stream, ObjectRef& ref, uint32_t& tag) override;
    void remember(void* object, uint32_t tag) override;
    void remember_block(void* block, uint32_t tag, const std::type_info* maker, uint32_t size) override;
    void forget(uint32_t tag) override;
    bool skip_tag(IStream& stream) override;

    // The factories read so far, in id order (null for unknown names).
    const std::vector<AbstractFactory*>& factories() const { return factories_; }

protected:
    // Reads a name of `length` bytes, looks it up and gives it the next id.
    AbstractFactory* read_name(IStream& stream, uint32_t length, bool warn);
    // The factory of an id read from the stream; fails the stream for an
    // id outside 1..count.
    AbstractFactory* factory_of_id(IStream& stream, uint32_t id);
    // The id of a name written before, or 0.
    uint32_t written_id(std::string_view name) const;
    uint32_t enter_name(std::string_view name);
    // Writes u32 length and the name's bytes, then enters it with the next
    // id. False (logged) when it could not be written.
    bool write_name(Stream& stream, std::string_view name);

private:
    struct Entry {
        void* object;
        const std::type_info* maker;
        uint32_t size;
        bool block;
    };
    std::unordered_map<uint32_t, Entry> tags_; // reading: tag -> what was read
    std::unordered_map<const void*, uint32_t> written_; // writing: object -> tag
    uint32_t next_tag_ = 2;
    std::vector<AbstractFactory*> factories_; // reading: id - 1 -> factory
    // Looked up by the caller's text without building a string each time.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const { return std::hash<std::string_view>()(name); }
    };
    std::unordered_map<std::string, uint32_t, NameHash, std::equal_to<>> factory_ids_; // writing: name -> id
};

class Registry1 : public BasicRegistry {
public:
    bool write_factory(Stream& stream, const char* name) override;
    AbstractFactory* read_factory(IStream& stream, bool warn) override;
};

class Registry2 : public BasicRegistry {
public:
    bool write_factory(Stream& stream, const char* name) override;
    AbstractFactory* read_factory(IStream& stream, bool warn) override;
};

// Legacy registries: writing throws "NOT IMPLEMENTED".
class G1RwRegistry1 : public BasicRegistry {
public:
    bool write_tag(Stream& stream, const void* object, const char* factory_name, bool unshared) override;
    bool write_factory(Stream& stream, const char* name) override;
    AbstractFactory* read_factory(IStream& stream, bool warn) override;
};

class G1RwRegistry2 : public BasicRegistry {
public:
    bool write_tag(Stream& stream, const void* object, const char* factory_name, bool unshared) override;
    bool write_factory(Stream& stream, const char* name) override;
    AbstractFactory* read_factory(IStream& stream, bool warn) override;
};

// "Invalid factory name length (L)."
class InvalidFactoryNameLengthError : public ErrorInfo {
public:
    explicit InvalidFactoryNameLengthError(uint32_t length, const ErrorInfo* inner = nullptr)
        : ErrorInfo(nullptr, inner)
        , length(length)
    {
    }
    size_t describe(char* buffer, size_t size) const override;

    uint32_t length;
};

// "Invalid factory id (N) while loading object. There are C factories
// loaded at this time."
class InvalidFactoryIdError : public ErrorInfo {
public:
    InvalidFactoryIdError(uint32_t id, uint32_t count, const ErrorInfo* inner = nullptr)
        : ErrorInfo(nullptr, inner)
        , id(id)
        , count(count)
    {
    }
    size_t describe(char* buffer, size_t size) const override;

    uint32_t id;
    uint32_t count;
};

} // namespace quarn::io
