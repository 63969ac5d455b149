#include "physics/Collider.h"

#include "physics/Primitive.h"
#include "physics/TreeWalk.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <typeinfo>
#include <utility>

namespace quarn::cls2 {

namespace {

// Bucket counts grow through these primes, as the classic hash containers
// do: room for 100 entries starts at 193.
constexpr std::array<size_t, 28> primes = { 53ul, 97ul, 193ul, 389ul, 769ul, 1543ul, 3079ul, 6151ul, 12289ul,
    24593ul, 49157ul, 98317ul, 196613ul, 393241ul, 786433ul, 1572869ul, 3145739ul, 6291469ul, 12582917ul,
    25165843ul, 50331653ul, 100663319ul, 201326611ul, 402653189ul, 805306457ul, 1610612741ul, 3221225473ul,
    4294967291ul };

// The first prime not below n (the last one past them all).
size_t next_prime_index(size_t n)
{
    auto it = std::lower_bound(primes.begin(), primes.end(), n);
    return it == primes.end() ? primes.size() - 1 : size_t(it - primes.begin());
}

// h % primes[I], with the divisor a constant the compiler turns into a
// multiplication: a division would be most of the cost of placing a record.
template<size_t I>
size_t mod_prime(uint64_t h)
{
    return static_cast<size_t>(h % primes[I]);
}

template<size_t... I>
constexpr std::array<size_t (*)(uint64_t), sizeof...(I)> make_mods(std::index_sequence<I...>)
{
    return { &mod_prime<I>... };
}

constexpr auto mods = make_mods(std::make_index_sequence<primes.size()>());

// Chunks double from the first size up to the last, then stay there.
constexpr size_t first_chunk = 64;
constexpr size_t max_chunk = 4096;

std::pair<const Collidable*, const Collidable*> key_of(const Collidable* x, const Collidable* y)
{
    if (y && (!x || BySerial()(y, x)))
        return { y, x };
    return { x, y };
}

} // namespace

Collider::Collider() { reserve(100); }

Collider::~Collider() = default;

void Collider::grow_pool()
{
    size_t n = first_chunk;
    for (size_t i = 0; i < chunks_.size() && n < max_chunk; ++i)
        n *= 2;
    chunks_.push_back(std::make_unique<Entry[]>(n));
    Entry* chunk = chunks_.back().get();
    // Threaded so that entries are handed out in address order.
    for (size_t i = n; i-- > 0;)
        give_back(&chunk[i]);
}

size_t Collider::bucket_of(const Collidable* first, const Collidable* second, Mod mod)
{
    // Serials in place of the addresses the key was once hashed by: the
    // table's walk order then does not depend on where things were
    // allocated, and the world's contact order is the same on every run.
    const uint64_t a = first ? first->serial() : 0;
    const uint64_t b = second ? second->serial() : 0;
    return mod(a * 0x9E3779B97F4A7C15ull ^ b);
}

void Collider::reserve(size_t entries)
{
    if (entries <= buckets_.size())
        return;
    const size_t index = next_prime_index(entries);
    const size_t n = primes[index];
    if (n <= buckets_.size())
        return;
    const Mod mod = mods[index];
    std::vector<Entry*> grown(n, nullptr);
    // Chains are moved node by node, each to the front of its new chain,
    // as the classic containers do; entries with one key stay together.
    for (Entry*& head : buckets_) {
        while (Entry* e = head) {
            head = e->next;
            Entry*& to = grown[bucket_of(e->first, e->second, mod)];
            e->next = to;
            to = e;
        }
    }
    buckets_ = std::move(grown);
    mod_ = mod;
}

void Collider::insert_contact(const CollisionRecord& record)
{
    Collidable* owner_a = record.a ? record.a->owner : nullptr;
    Collidable* owner_b = record.b ? record.b->owner : nullptr;
    const auto [first, second] = key_of(owner_a, owner_b);
    if (count_ + 1 > buckets_.size())
        reserve(count_ + 1);
    Entry* entry = take_entry();
    entry->first = first;
    entry->second = second;
    entry->record = record;
    entry->next = nullptr;
    Entry*& head = buckets_[bucket_of(first, second, mod_)];
    Entry* same = head;
    while (same && !(same->first == first && same->second == second))
        same = same->next;
    if (same) {
        entry->next = same->next;
        same->next = entry;
    } else {
        entry->next = head;
        head = entry;
    }
    ++count_;
    if (owner_a && owner_b) {
        owner_a->partners.insert(owner_b);
        owner_b->partners.insert(owner_a);
    }
}

void Collider::erase_key(const Collidable* first, const Collidable* second)
{
    Entry** link = &buckets_[bucket_of(first, second, mod_)];
    while (Entry* e = *link) {
        if (e->first == first && e->second == second) {
            *link = e->next;
            give_back(e);
            --count_;
        } else {
            link = &e->next;
        }
    }
}

void Collider::remove_contacts(Collidable& c)
{
    for (Collidable* partner : c.partners) {
        const auto [first, second] = key_of(&c, partner);
        erase_key(first, second);
    }
}

void Collider::clear()
{
    for (Entry*& head : buckets_) {
        while (Entry* e = head) {
            head = e->next;
            give_back(e);
        }
    }
    count_ = 0;
}

void Collider::collide(Collidable& c1, Collidable& c2)
{
    // A plain DefaultCollider binds its pair tests directly; any other
    // collider (a derived one may override the tests) walks through the
    // virtual calls. Both make the same calls in the same order.
    if (typeid(*this) == typeid(DefaultCollider)) {
        static_cast<DefaultCollider&>(*this).collide_direct(c1, c2);
        return;
    }
    walk_trees(
        c1, c2, [this](const Primitive& a, const Primitive& b) { return intersecting(a, b); },
        [this](const Primitive& a, const Primitive& b) { find_contacts(a, b); });
}

} // namespace quarn::cls2
