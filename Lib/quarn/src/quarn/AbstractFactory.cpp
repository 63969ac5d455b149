#include "quarn/AbstractFactory.h"

#include "quarn/Allocator.h"
#include "quarn/Exception.h"
#include "quarn/PtrRefs.h"

#include <cstring>
#include <unordered_map>

namespace quarn {

namespace {

using FactoryMap = std::unordered_map<std::string, AbstractFactory*>;

// Built on first use: static factories of other files register themselves
// during static initialisation, in an order no one controls.
FactoryMap& factory_map()
{
    static FactoryMap map;
    return map;
}

} // namespace

AbstractFactory::AbstractFactory(const char* name)
    : name_(name ? name : "")
{
    if (name_.empty())
        return;
    auto [entry, inserted] = factory_map().try_emplace(name_, this);
    if (!inserted) {
        previous_ = entry->second;
        entry->second = this;
    }
}

AbstractFactory::~AbstractFactory()
{
    if (name_.empty())
        return;
    FactoryMap& map = factory_map();
    auto entry = map.find(name_);
    if (entry == map.end())
        return;
    if (entry->second == this) {
        if (previous_)
            entry->second = previous_;
        else
            map.erase(entry);
        return;
    }
    // Destroyed while a later factory of the same name still stands: take
    // it out of that one's chain so the chain never leads to a dead one.
    for (AbstractFactory* f = entry->second; f; f = f->previous_) {
        if (f->previous_ == this) {
            f->previous_ = previous_;
            break;
        }
    }
}

void* AbstractFactory::allocate()
{
    return Allocator::allocate(sizeof(PtrRefsImpl<PtrRefsData*, CheckedDeleter<PtrRefsData>>));
}

void AbstractFactory::load_block(void* block, const void* bytes, uint32_t size)
{
    if (size)
        std::memcpy(block, bytes, size);
}

AbstractFactory* AbstractFactory::lookup(const char* name) noexcept
{
    if (!name)
        return nullptr;
    try {
        FactoryMap& map = factory_map();
        std::string key(name);
        if (auto entry = map.find(key); entry != map.end())
            return entry->second;
        if (!normalise(key))
            return nullptr;
        if (auto entry = map.find(key); entry != map.end())
            return entry->second;
    } catch (...) {
    }
    return nullptr;
}

bool AbstractFactory::normalise(std::string& name)
{
    static constexpr struct {
        const char* from;
        const char* to;
    } words[] = {
        { "windows::", "win::" },
        { "graphics::", "g::" },
        { "mathematics::", "math::" },
        { "scene_graph::", "sg::" },
        { "direct3d::", "d3d::" },
    };
    bool changed = false;
    for (const auto& w : words) {
        const size_t from_length = std::strlen(w.from);
        const size_t to_length = std::strlen(w.to);
        for (size_t at = name.find(w.from); at != std::string::npos; at = name.find(w.from, at + to_length)) {
            name.replace(at, from_length, w.to);
            changed = true;
        }
    }
    return changed;
}

void throw_factory_exception(const char* text)
{
    report_and_throw(
        { "\\Lib\\quarn\\src\\quarn\\AbstractFactory", 290, "quarn::throw_factory_exception" }, FactoryExc("", text));
}

} // namespace quarn
