// A reader-writer lock in one 32-bit word.
//
// Cell records are small and numerous, so their lock is a single atomic word
// instead of a platform lock of 56 bytes. Waiters sleep on the word itself
// (futex-backed std::atomic::wait). Readers do not block one another; a writer
// waits until no reader is left. Locks are held for a few field reads or
// writes, never across calls into Python.
#pragma once

#include <atomic>
#include <cstdint>

namespace brindel {

class RwLock {
public:
    void lock_shared() const noexcept {
        uint32_t v = word_.load(std::memory_order_relaxed);
        for (;;) {
            if (!(v & kWriter)) {
                if (word_.compare_exchange_weak(v, v + 1, std::memory_order_acquire,
                                                std::memory_order_relaxed))
                    return;
                continue;
            }
            wait(v);
            v = word_.load(std::memory_order_relaxed);
        }
    }
    void unlock_shared() const noexcept {
        uint32_t v = word_.fetch_sub(1, std::memory_order_release) - 1;
        if ((v & ~kSleepers) == 0 && (v & kSleepers)) wake();
    }
    void lock() const noexcept {
        uint32_t v = word_.load(std::memory_order_relaxed);
        for (;;) {
            if ((v & ~kSleepers) == 0) {
                if (word_.compare_exchange_weak(v, v | kWriter, std::memory_order_acquire,
                                                std::memory_order_relaxed))
                    return;
                continue;
            }
            wait(v);
            v = word_.load(std::memory_order_relaxed);
        }
    }
    void unlock() const noexcept {
        uint32_t v = word_.fetch_and(~kWriter, std::memory_order_release) & ~kWriter;
        if (v & kSleepers) wake();
    }

private:
    static constexpr uint32_t kWriter = 0x80000000u;
    static constexpr uint32_t kSleepers = 0x40000000u;

    void wait(uint32_t v) const noexcept {
        // Spin briefly: holders keep the lock for a handful of instructions.
        for (int i = 0; i < 64; ++i) {
            if (word_.load(std::memory_order_relaxed) != v) return;
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        }
        if (!(v & kSleepers)) {
            if (!word_.compare_exchange_strong(v, v | kSleepers, std::memory_order_relaxed))
                return;
            v |= kSleepers;
        }
        word_.wait(v, std::memory_order_relaxed);
    }
    void wake() const noexcept {
        word_.fetch_and(~kSleepers, std::memory_order_relaxed);
        word_.notify_all();
    }

    mutable std::atomic<uint32_t> word_{0};
};

static_assert(sizeof(RwLock) == 4);

class SharedLock {
public:
    explicit SharedLock(const RwLock& l) noexcept : l_(l) { l_.lock_shared(); }
    ~SharedLock() { l_.unlock_shared(); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    const RwLock& l_;
};

class ExclusiveLock {
public:
    explicit ExclusiveLock(const RwLock& l) noexcept : l_(l) { l_.lock(); }
    ~ExclusiveLock() { l_.unlock(); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    const RwLock& l_;
};

}  // namespace brindel
