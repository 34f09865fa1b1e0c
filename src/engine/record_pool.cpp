#include "record_pool.hpp"

#include <atomic>
#include <new>
#include <vector>

namespace brindel {

#if defined(BRINDEL_PLAIN_ALLOC)

void* pool_allocate_32() { return ::operator new(32); }
void pool_free_32(void* p) noexcept { ::operator delete(p); }

#else

namespace {

constexpr size_t kBlock = 32;
constexpr size_t kChunk = 64 * 1024;

struct FreeBlock {
    FreeBlock* next;
};

class SpinLock {
public:
    void lock() noexcept {
        while (flag_.exchange(true, std::memory_order_acquire)) {
            while (flag_.load(std::memory_order_relaxed)) {
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
            }
        }
    }
    void unlock() noexcept { flag_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> flag_{false};
};

struct Pool {
    SpinLock lock;
    FreeBlock* free_list = nullptr;
    char* bump = nullptr;  // next never-used block of the newest chunk
    char* bump_end = nullptr;
};

Pool& pool() {
    // Never destroyed: records may be freed during interpreter shutdown.
    static Pool* p = new Pool;
    return *p;
}

}  // namespace

void* pool_allocate_32() {
    Pool& p = pool();
    p.lock.lock();
    if (FreeBlock* b = p.free_list) {
        p.free_list = b->next;
        p.lock.unlock();
        return b;
    }
    if (p.bump == p.bump_end) {
        p.lock.unlock();
        char* chunk = static_cast<char*>(::operator new(kChunk));  // may throw bad_alloc
        p.lock.lock();
        if (p.bump != p.bump_end) {
            // Another thread refilled meanwhile: keep this chunk's blocks free.
            for (size_t off = 0; off < kChunk; off += kBlock) {
                auto* b = reinterpret_cast<FreeBlock*>(chunk + off);
                b->next = p.free_list;
                p.free_list = b;
            }
        } else {
            p.bump = chunk;
            p.bump_end = chunk + kChunk;
        }
        if (FreeBlock* b = p.free_list) {
            p.free_list = b->next;
            p.lock.unlock();
            return b;
        }
    }
    void* r = p.bump;
    p.bump += kBlock;
    p.lock.unlock();
    return r;
}

void pool_free_32(void* ptr) noexcept {
    Pool& p = pool();
    auto* b = static_cast<FreeBlock*>(ptr);
    p.lock.lock();
    b->next = p.free_list;
    p.free_list = b;
    p.lock.unlock();
}

#endif

}  // namespace brindel
