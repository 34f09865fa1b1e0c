#include "record_pool.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace brindel {

#if defined(BRINDEL_PLAIN_ALLOC)

void* pool_allocate_32() { return ::operator new(32); }
void pool_free_32(void* p) noexcept { ::operator delete(p); }

#else

namespace {

constexpr size_t kBlock = 32;
constexpr size_t kChunk = 64 * 1024;  // chunks are aligned to their size
constexpr size_t kBlocks = kChunk / kBlock;
constexpr size_t kWords = kBlocks / 64;

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

// A chunk starts with its header; a set bit marks a free block. Blocks are
// handed out lowest address first, whatever order they were freed in, so the
// records of a sheet built after others were freed still lie side by side in
// the order they were made.
struct Chunk {
    uint64_t free_bits[kWords];
    uint32_t free_count;
    uint32_t first_word;  // no free block below this word
    size_t index;         // position in Pool::chunks
};
constexpr size_t kHeaderBlocks = (sizeof(Chunk) + kBlock - 1) / kBlock;

struct Pool {
    SpinLock lock;
    std::vector<Chunk*> chunks;
    std::vector<uint64_t> nonfull;  // bit i: chunks[i] has a free block
    Chunk* current = nullptr;       // where blocks come from now
    char* slab_next = nullptr;      // chunks not yet used, aligned
    char* slab_end = nullptr;
};

Pool& pool() {
    // Never destroyed: records may be freed during interpreter shutdown.
    static Pool* p = new Pool;
    return *p;
}

Chunk* chunk_of(void* block) noexcept {
    return reinterpret_cast<Chunk*>(reinterpret_cast<uintptr_t>(block) & ~(uintptr_t{kChunk} - 1));
}

void mark_nonfull(Pool& p, const Chunk* c, bool on) noexcept {
    uint64_t bit = uint64_t{1} << (c->index % 64);
    if (on)
        p.nonfull[c->index / 64] |= bit;
    else
        p.nonfull[c->index / 64] &= ~bit;
}

// The chunk with a free block that was made first, or none.
Chunk* first_nonfull(Pool& p) noexcept {
    for (size_t w = 0; w < p.nonfull.size(); ++w)
        if (p.nonfull[w]) return p.chunks[w * 64 + static_cast<size_t>(__builtin_ctzll(p.nonfull[w]))];
    return nullptr;
}

// A new chunk, registered but not yet current. Called with the lock held;
// throws bad_alloc with nothing changed.
Chunk* add_chunk(Pool& p) {
    if (p.chunks.size() % 64 == 0) p.nonfull.reserve(p.chunks.size() / 64 + 1);
    p.chunks.reserve(p.chunks.size() + 1);
    if (p.slab_next == p.slab_end) {
        // Chunks come from slabs of 32: aligning each allocation of one
        // chunk to its size would leave a gap beside every chunk.
        constexpr size_t kSlab = 32 * kChunk;
        auto* raw = static_cast<char*>(::operator new(kSlab + kChunk));
        uintptr_t at = (reinterpret_cast<uintptr_t>(raw) + kChunk - 1) & ~(uintptr_t{kChunk} - 1);
        p.slab_next = reinterpret_cast<char*>(at);
        p.slab_end = p.slab_next + kSlab;
    }
    auto* c = reinterpret_cast<Chunk*>(p.slab_next);
    p.slab_next += kChunk;
    for (uint64_t& w : c->free_bits) w = ~uint64_t{0};
    for (size_t b = 0; b < kHeaderBlocks; ++b) c->free_bits[b / 64] &= ~(uint64_t{1} << (b % 64));
    c->free_count = static_cast<uint32_t>(kBlocks - kHeaderBlocks);
    c->first_word = 0;
    c->index = p.chunks.size();
    p.chunks.push_back(c);
    if (c->index % 64 == 0) p.nonfull.push_back(0);
    return c;
}

}  // namespace

void* pool_allocate_32() {
    Pool& p = pool();
    std::lock_guard<SpinLock> g(p.lock);
    Chunk* c = p.current;
    if (!c || c->free_count == 0) {
        c = first_nonfull(p);
        if (!c) c = add_chunk(p);  // may throw bad_alloc
        mark_nonfull(p, c, false);  // the current chunk is tracked apart
        p.current = c;
    }
    size_t w = c->first_word;
    while (c->free_bits[w] == 0) ++w;
    size_t b = static_cast<size_t>(__builtin_ctzll(c->free_bits[w]));
    c->free_bits[w] &= c->free_bits[w] - 1;
    c->first_word = static_cast<uint32_t>(w);
    --c->free_count;
    return reinterpret_cast<char*>(c) + (w * 64 + b) * kBlock;
}

void pool_free_32(void* ptr) noexcept {
    Pool& p = pool();
    Chunk* c = chunk_of(ptr);
    size_t i = static_cast<size_t>(static_cast<char*>(ptr) - reinterpret_cast<char*>(c)) / kBlock;
    std::lock_guard<SpinLock> g(p.lock);
    c->free_bits[i / 64] |= uint64_t{1} << (i % 64);
    if (i / 64 < c->first_word) c->first_word = static_cast<uint32_t>(i / 64);
    if (c->free_count++ == 0 && c != p.current) mark_nonfull(p, c, true);
}

#endif

}  // namespace brindel
