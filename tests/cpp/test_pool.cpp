// The worker pool and the parallel steps built on it: the processor count,
// jobs from several callers at once, nested jobs, exceptions thrown on pool
// threads, the results of filter, first match and sort against plain loops,
// and processes made by fork() while the pool is busy.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "parallel.hpp"
#include "pool.hpp"

using namespace brindel;

namespace {

// Runs f in a child process, which exits with f's status, through exit()
// (static destructors and all) or _exit(); a child that hangs is killed by its
// alarm. Returns what the parent saw.
template <class F>
int in_child(bool full_exit, F&& f) {
    std::fflush(nullptr);  // or the child writes the parent's pending output again
    pid_t pid = fork();
    if (pid == 0) {
        alarm(30);
        int status = f();
        if (full_exit) std::exit(status);
        _exit(status);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    if (!WIFEXITED(status)) return 1000 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return WEXITSTATUS(status);
}

// A job of two pieces in which one piece waits until another thread has
// taken the other, so that the body surely runs on a pool thread too.
// Returns false when no pool thread came within the time allowed.
template <class OnPoolThread>
bool with_pool_thread(OnPoolThread&& on_pool_thread) {
    std::atomic<bool> came{false};
    auto caller = std::this_thread::get_id();
    pool::run(2, [&](size_t) {
        if (std::this_thread::get_id() != caller) {
            came = true;
            on_pool_thread();
            return;
        }
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!came && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    });
    return came;
}

}  // namespace

TEST(Pool, QuotaLowersTheProcessorCount) {
    struct Case {
        const char* cpu_max;
        std::optional<size_t> want;
    };
    for (const Case& c : {Case{"max 100000", std::nullopt}, Case{"max 100000\n", std::nullopt},
                          Case{"200000 100000", 2}, Case{"150000 100000\n", 2},
                          Case{"50000 100000", 1}, Case{"100000 100000", 1}, Case{"", std::nullopt},
                          Case{"200000", std::nullopt}, Case{"x 100000", std::nullopt},
                          Case{"0 100000", std::nullopt}})
        EXPECT_EQ(pool::processors_from_cpu_max(c.cpu_max), c.want) << '"' << c.cpu_max << '"';
    EXPECT_EQ(pool::processors_from_cfs(-1, 100000), std::nullopt);
    EXPECT_EQ(pool::processors_from_cfs(250000, 100000), 3u);
    EXPECT_EQ(pool::processors_from_cfs(1000, 100000), 1u);
    EXPECT_EQ(pool::processors_from_cfs(100000, 0), std::nullopt);

    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    size_t n = pool::thread_count();
    EXPECT_GE(n, 1u);
    EXPECT_LE(n, static_cast<size_t>(CPU_COUNT(&set)));
}

TEST(Pool, ManyCallersEachGetTheirWholeJob) {
    std::vector<std::thread> callers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&, t] {
            for (int job = 0; job < 150; ++job) {
                size_t pieces = 1 + static_cast<size_t>((job * 7 + t) % 40);
                std::vector<std::atomic<int>> ran(pieces);
                pool::run(pieces, [&](size_t p) { ran[p]++; });
                for (auto& r : ran)
                    if (r.load() != 1) wrong++;
            }
        });
    for (auto& c : callers) c.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(Pool, APieceMayRunAJobOfItsOwn) {
    std::atomic<size_t> inner{0};
    pool::run(8, [&](size_t) { pool::run(16, [&](size_t) { inner++; }); });
    EXPECT_EQ(inner.load(), 8u * 16u);
}

TEST(Pool, ExceptionsOfPoolThreadsReachTheCaller) {
    if (pool::thread_count() < 2) GTEST_SKIP() << "one processor: no pool threads";
    // A pool thread that never comes returns false instead of throwing.
    EXPECT_THROW(with_pool_thread([] { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_THROW(with_pool_thread([] { throw std::length_error("piece"); }), std::length_error);
    // A failed job leaves the pool usable.
    std::atomic<size_t> ran{0};
    pool::run(100, [&](size_t) { ran++; });
    EXPECT_EQ(ran.load(), 100u);
}

TEST(Parallel, StepsGiveThePlainLoopsResults) {
    std::mt19937 rng(11);
    for (size_t n : {size_t{0}, size_t{1}, size_t{1000}, parallel::kInline - 1, parallel::kInline,
                     size_t{300000}}) {
        std::vector<uint32_t> v(n);
        for (auto& x : v) x = rng() % 1000;
        auto keep = [&](size_t i) { return v[i] % 7 == 3; };
        std::vector<size_t> want;
        for (size_t i = 0; i < n; ++i)
            if (keep(i)) want.push_back(i);
        EXPECT_EQ(parallel::filter(n, keep), want) << n;

        // Matches everywhere, and one only near the end: always the lowest.
        for (uint32_t target : {3u, 999u}) {
            std::optional<size_t> first;
            for (size_t i = 0; i < n && !first; ++i)
                if (v[i] == target) first = i;
            for (int rep = 0; rep < 5; ++rep)
                EXPECT_EQ(parallel::first(n, [&](size_t i) { return v[i] == target; }), first) << n;
        }
    }
}

TEST(Parallel, SortIsStableAndComplete) {
    std::mt19937_64 rng(5);
    for (size_t n : {size_t{0}, size_t{1}, size_t{255}, size_t{5000}, size_t{200000}}) {
        // Few distinct keys, some with high bits set, so that equal keys are
        // common and every digit of the key is exercised.
        std::vector<std::pair<uint64_t, size_t>> v(n);
        for (size_t i = 0; i < n; ++i) {
            uint64_t k = rng() % 500;
            if (k % 5 == 0) k |= uint64_t{1} << 47;
            v[i] = {k, i};
        }
        auto want = v;
        std::stable_sort(want.begin(), want.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        parallel::sort_by_key(v);
        EXPECT_EQ(v, want) << n;
    }
}

TEST(PoolFork, ChildOfABusyParentMakesItsOwnPool) {
    // Another thread keeps the parent's pool busy while the fork happens, so
    // the pool's lock may be copied into the child held.
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        std::vector<int> v(200000, 1);
        while (!stop) (void)parallel::filter(v.size(), [&](size_t i) { return v[i] == 2; });
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // _exit: the busy thread's memory, left behind in the child, is no leak
    // of ours.
    int status = in_child(false, [] {
        std::vector<int> v(300000);
        for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int>(i % 10);
        auto hits = parallel::filter(v.size(), [&](size_t i) { return v[i] == 9; });
        return hits.size() == 30000 ? 0 : 1;
    });
    stop = true;
    busy.join();
    EXPECT_EQ(status, 0);
}

TEST(PoolFork, ProcessWithAnIdlePoolExitsNormally) {
    // exit() runs the static destructors while the pool's threads sleep.
    int status = in_child(true, [] {
        std::vector<int> v(300000, 1);
        auto hits = parallel::filter(v.size(), [&](size_t i) { return v[i] == 1; });
        return hits.size() == v.size() ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}
