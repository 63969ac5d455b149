// quarn::RefPtr: a shared handle that owns its object through a PtrRefs
// count block. Every handle holds one strong and one weak unit of its block;
// the last handle to go deletes the object (through CheckedDeleter, so the
// class needs a virtual destructor when it is held through a base), then the
// block. A null object never gets a block.
#pragma once

#include "quarn/PtrRefs.h"

#include <type_traits>
#include <utility>

namespace quarn {

template<class T>
class RefPtr {
public:
    RefPtr() noexcept = default;
    RefPtr(std::nullptr_t) noexcept {}

    // Takes ownership of `object`. Allocating the block may throw
    // std::bad_alloc; the object is deleted then.
    explicit RefPtr(T* object)
    {
        if (!object)
            return;
        try {
            refs_ = new PtrRefsImpl<T*, CheckedDeleter<T>>(object);
        } catch (...) {
            CheckedDeleter<T>()(object);
            throw;
        }
        refs_->strong = 1;
        refs_->weak = 1;
        object_ = object;
    }

    // Shares an existing block (as object streams and factories hand them
    // around): adds one strong and one weak unit. A null object shares
    // nothing.
    RefPtr(T* object, PtrRefs* refs) noexcept
    {
        if (object && refs) {
            object_ = object;
            refs_ = refs;
            refs_->add_ref();
        }
    }

    RefPtr(const RefPtr& other) noexcept : object_(other.object_), refs_(other.refs_)
    {
        if (refs_)
            refs_->add_ref();
    }

    template<class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    RefPtr(const RefPtr<U>& other) noexcept : RefPtr(other.get(), other.refs())
    {
    }

    RefPtr(RefPtr&& other) noexcept
        : object_(std::exchange(other.object_, nullptr)), refs_(std::exchange(other.refs_, nullptr))
    {
    }

    ~RefPtr() { reset(); }

    // Sharing the object a handle already has changes nothing.
    RefPtr& operator=(const RefPtr& other) noexcept
    {
        if (object_ == other.object_)
            return *this;
        reset();
        if (other.object_) {
            object_ = other.object_;
            refs_ = other.refs_;
            refs_->add_ref();
        }
        return *this;
    }

    RefPtr& operator=(RefPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
            refs_ = std::exchange(other.refs_, nullptr);
        }
        return *this;
    }

    // Gives up this handle's units; returns the block's new strong count (0
    // when there was no block).
    int32_t reset() noexcept
    {
        PtrRefs* refs = std::exchange(refs_, nullptr);
        object_ = nullptr;
        return refs ? refs->release() : 0;
    }

    T* get() const noexcept { return object_; }
    T* operator->() const noexcept { return object_; }
    T& operator*() const noexcept { return *object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }
    PtrRefs* refs() const noexcept { return refs_; }
    int32_t use_count() const noexcept { return refs_ ? refs_->strong : 0; }

    friend bool operator==(const RefPtr& a, const RefPtr& b) noexcept { return a.object_ == b.object_; }

private:
    T* object_ = nullptr;
    PtrRefs* refs_ = nullptr;
};

template<class T, class... Args>
RefPtr<T> make_ref(Args&&... args)
{
    return RefPtr<T>(new T(std::forward<Args>(args)...));
}

} // namespace quarn
