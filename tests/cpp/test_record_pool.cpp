// The 32-byte block pool of cell records: every block handed out once at a
// time, freed blocks reused lowest address first whatever order they were
// freed in, across many chunks and from several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "record_pool.hpp"

namespace brindel {
namespace {

#if !defined(BRINDEL_PLAIN_ALLOC)

std::vector<char*> take(size_t n) {
    std::vector<char*> out;
    for (size_t i = 0; i < n; ++i) out.push_back(static_cast<char*>(pool_allocate_32()));
    return out;
}

uintptr_t chunk_of(const char* p) { return reinterpret_cast<uintptr_t>(p) & ~uintptr_t{0xFFFF}; }

// Runs first, on the process's fresh pool: then the blocks taken here are
// all the pool has handed out, and what comes back is predictable.
TEST(RecordPool, FreedBlocksComeBackInAddressOrderBeforeNewMemory) {
    std::vector<char*> b = take(6000);  // three chunks and a bit
    std::set<uintptr_t> chunks;
    for (char* p : b) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
        std::fill(p, p + 32, '\x5a');
        chunks.insert(chunk_of(p));
    }
    EXPECT_EQ(std::set<char*>(b.begin(), b.end()).size(), b.size());

    // Freed in random order, blocks come back from the same chunks, lowest
    // address first within each.
    std::vector<char*> shuffled = b;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    for (char* p : shuffled) pool_free_32(p);
    std::vector<char*> again = take(b.size());
    EXPECT_EQ(std::set<char*>(again.begin(), again.end()).size(), again.size());
    for (char* p : again) EXPECT_TRUE(chunks.count(chunk_of(p))) << "new memory while blocks were free";
    size_t descending = 0;
    for (size_t i = 1; i < again.size(); ++i)
        descending += chunk_of(again[i]) == chunk_of(again[i - 1]) && again[i] < again[i - 1];
    EXPECT_EQ(descending, 0u);

    // With holes in the chunks already used, no new memory is taken.
    std::vector<char*> freed;
    for (size_t i = 0; i < again.size(); i += 3) {
        pool_free_32(again[i]);
        freed.push_back(again[i]);
    }
    std::vector<char*> refill = take(freed.size());
    for (char* p : refill) EXPECT_TRUE(chunks.count(chunk_of(p))) << "new memory while holes were free";
    for (size_t i = 0; i < again.size(); ++i)
        if (i % 3 != 0) pool_free_32(again[i]);
    for (char* p : refill) pool_free_32(p);
}

TEST(RecordPool, ThreadsShareThePool) {
    constexpr int kThreads = 4, kRounds = 50, kBatch = 500;
    std::vector<std::thread> ts;
    std::vector<std::vector<char*>> kept(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        ts.emplace_back([t, &kept] {
            std::mt19937 rng(static_cast<unsigned>(t));
            for (int r = 0; r < kRounds; ++r) {
                std::vector<char*> mine = take(kBatch);
                for (char* p : mine) std::fill(p, p + 32, static_cast<char>(t));
                std::shuffle(mine.begin(), mine.end(), rng);
                for (size_t i = 0; i < mine.size(); ++i) {
                    if (i % 10 == 0)
                        kept[static_cast<size_t>(t)].push_back(mine[i]);
                    else
                        pool_free_32(mine[i]);
                }
            }
        });
    }
    for (auto& th : ts) th.join();
    std::set<char*> all;
    for (int t = 0; t < kThreads; ++t) {
        for (char* p : kept[static_cast<size_t>(t)]) {
            EXPECT_TRUE(all.insert(p).second) << "a block handed out twice";
            EXPECT_EQ(p[0], static_cast<char>(t)) << "block written by another thread";
        }
    }
    for (auto& v : kept)
        for (char* p : v) pool_free_32(p);
}

#else

TEST(RecordPool, PlainAllocationInSanitizerBuilds) {
    void* p = pool_allocate_32();
    ASSERT_NE(p, nullptr);
    pool_free_32(p);
}

#endif

}  // namespace
}  // namespace brindel
