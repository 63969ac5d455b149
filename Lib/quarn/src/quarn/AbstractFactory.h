// Factories: objects read from streams are created by name.
//
// Every stored class has one static factory object, registered in a
// process-wide map under the class's name as the data files spell it
// (TypeName.h). A later factory of the same name hides the earlier one
// until it is destroyed (a stack per name). Names written by older builds
// with long namespace words are normalised ("graphics::" -> "g::", ...)
// before a second lookup.
#pragma once

#include <cstdint>
#include <string>

namespace quarn {

class AbstractFactory {
public:
    // Registers under `name`; a null or empty name registers nothing
    // (factories made for one call and handed to a reader directly).
    explicit AbstractFactory(const char* name);
    // Unregisters: the factory this one hid is found again.
    virtual ~AbstractFactory();
    AbstractFactory(const AbstractFactory&) = delete;
    AbstractFactory& operator=(const AbstractFactory&) = delete;

    // Uninitialised storage for one count block of a shared handle, from
    // the current Allocator.
    virtual void* allocate();
    // Destroys an object of this factory; null does nothing.
    virtual void delete_obj(void* object) = 0;
    // A new object, ready to have its data read. Objects of classes derived
    // from io::Object are handed around as their io::Object pointer.
    virtual void* create_obj() = 0;
    // Copy-constructs the object `source` (as create_obj hands it out) into
    // `storage`; answers the copy as create_obj would.
    virtual void* uninitialized_copy(void* storage, const void* source) = 0;

    // Blocks (IStream::read_refs): the byte count a block of this factory
    // takes on a stream; 0 when the factory makes no blocks.
    virtual uint32_t block_size() const { return 0; }
    // Takes the bytes read for a new block (block_size() of them). The
    // default copies them into the block.
    virtual void load_block(void* block, const void* bytes, uint32_t size);

    const std::string& name() const { return name_; }
    AbstractFactory* previous() const { return previous_; }

    // The factory registered under `name`, else under its normalised
    // spelling, else null. Never throws.
    static AbstractFactory* lookup(const char* name) noexcept;
    // Rewrites the long namespace words ("windows::" "graphics::"
    // "mathematics::" "scene_graph::" "direct3d::") to their short forms;
    // true when something changed.
    static bool normalise(std::string& name);

private:
    std::string name_;
    AbstractFactory* previous_ = nullptr;
};

// Throws quarn::FactoryExc with the text, after the library's throw report.
[[noreturn]] void throw_factory_exception(const char* text);

} // namespace quarn
