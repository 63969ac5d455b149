#include "physics/ContactPool.h"

#include <memory>
#include <vector>

namespace quarn::dyn {

namespace {

// Chunks double from the first size up to the last, then stay there.
constexpr size_t first_chunk = 32;
constexpr size_t max_chunk = 1024;

} // namespace

// The slots and their bookkeeping; outlives the pool while slots are out.
struct ContactPool::Store {
    std::vector<std::unique_ptr<Slot[]>> chunks;
    Slot* free = nullptr;
    size_t out = 0;
    bool pool_gone = false;
};

ContactPool::ContactPool()
    : store_(new Store)
{
}

ContactPool::~ContactPool()
{
    store_->pool_gone = true;
    if (store_->out == 0)
        delete store_;
}

size_t ContactPool::in_use() const { return store_->out; }

ContactPool::Slot* ContactPool::take()
{
    Store& s = *store_;
    if (!s.free) {
        size_t n = first_chunk;
        for (size_t i = 0; i < s.chunks.size() && n < max_chunk; ++i)
            n *= 2;
        s.chunks.push_back(std::make_unique<Slot[]>(n));
        Slot* chunk = s.chunks.back().get();
        for (size_t i = n; i-- > 0;) {
            chunk[i].store = store_;
            chunk[i].next_free = s.free;
            s.free = &chunk[i];
        }
    }
    Slot* slot = s.free;
    s.free = slot->next_free;
    slot->next_free = nullptr;
    slot->strong = 0;
    slot->weak = 0;
    ++s.out;
    return slot;
}

void ContactPool::Slot::dispose()
{
    Contact* doomed = contact;
    contact = nullptr;
    if (doomed)
        doomed->~Contact();
}

void ContactPool::Slot::destroy()
{
    Store* s = store;
    next_free = s->free;
    s->free = this;
    if (--s->out == 0 && s->pool_gone)
        delete s;
}

} // namespace quarn::dyn
