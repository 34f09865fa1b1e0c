// Intrusive shared handles.
//
// Every record that Python can see (book, sheet, cell, comment) carries its own
// reference count, so a handle is one pointer and a record is one allocation:
// there is no separate control block as with std::shared_ptr.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

namespace brindel {

// Base of reference-counted records. T::destroy(T*) frees the record when the
// last handle goes.
class RefCounted {
public:
    void retain() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Returns true when this was the last reference.
    bool release_one() const noexcept {
        return refs_.fetch_sub(1, std::memory_order_acq_rel) == 1;
    }
    uint32_t ref_count() const noexcept { return refs_.load(std::memory_order_acquire); }

protected:
    RefCounted() = default;
    // For an object no other thread can see yet: its count, set with a plain
    // store.
    void set_refs_unshared(uint32_t n) const noexcept { refs_.store(n, std::memory_order_relaxed); }
    RefCounted(const RefCounted&) : refs_(0) {}
    RefCounted& operator=(const RefCounted&) { return *this; }
    ~RefCounted() = default;

private:
    mutable std::atomic<uint32_t> refs_{0};
};

template <class T>
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}
    // Takes a new reference to p.
    explicit Ref(T* p) noexcept : p_(p) {
        if (p_) p_->retain();
    }
    Ref(const Ref& o) noexcept : p_(o.p_) {
        if (p_) p_->retain();
    }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    Ref(Ref<U>&& o) noexcept : p_(o.detach()) {}
    ~Ref() { reset(); }

    Ref& operator=(const Ref& o) noexcept {
        if (o.p_) o.p_->retain();  // retain first: o may be the last holder of *this
        T* old = std::exchange(p_, o.p_);
        drop(old);
        return *this;
    }
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            T* old = std::exchange(p_, std::exchange(o.p_, nullptr));
            drop(old);
        }
        return *this;
    }

    // Wraps a pointer whose reference the caller hands over.
    static Ref adopt(T* p) noexcept {
        Ref r;
        r.p_ = p;
        return r;
    }
    // Gives up the reference without releasing it.
    T* detach() noexcept { return std::exchange(p_, nullptr); }

    void reset() noexcept { drop(std::exchange(p_, nullptr)); }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator==(const Ref& o) const noexcept { return p_ == o.p_; }

private:
    static void drop(T* p) noexcept {
        if (p && p->release_one()) T::destroy(p);
    }
    T* p_ = nullptr;
};

template <class T, class... A>
Ref<T> make_ref(A&&... a) {
    return Ref<T>(new T(std::forward<A>(a)...));
}

}  // namespace brindel
