#include "pool.hpp"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brindel::pool {

namespace {

// Processors this process may use: the affinity mask, lowered by a CPU quota
// of its control group (v2 cpu.max, v1 cfs quota and period).
size_t available_processors() {
    size_t n = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) n = static_cast<size_t>(CPU_COUNT(&set));
    if (n == 0) n = std::max(1u, std::thread::hardware_concurrency());

    double quota = -1, period = -1;
    {
        std::ifstream f("/sys/fs/cgroup/cpu.max");
        std::string q;
        if (f >> q >> period && q != "max") quota = std::atof(q.c_str());
    }
    if (quota <= 0) {
        std::ifstream fq("/sys/fs/cgroup/cpu/cpu.cfs_quota_us");
        std::ifstream fp("/sys/fs/cgroup/cpu/cpu.cfs_period_us");
        if (!(fq >> quota) || !(fp >> period)) quota = -1;
    }
    if (quota > 0 && period > 0) {
        auto limit = static_cast<size_t>(std::ceil(quota / period));
        n = std::max<size_t>(1, std::min(n, limit));
    }
    if (const char* cap = std::getenv("BRINDEL_MAX_WORKERS")) {
        long c = std::atol(cap);
        if (c >= 1) n = std::min(n, static_cast<size_t>(c));
    }
    return n;
}

struct Job {
    const std::function<void(size_t)>* body;
    size_t pieces;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::mutex mu;
    std::condition_variable finished;
    std::exception_ptr error;

    // Takes and runs pieces until none is left. Returns true if it ran the
    // last one to finish.
    void work() {
        for (;;) {
            size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= pieces) return;
            try {
                (*body)(i);
            } catch (...) {
                std::lock_guard<std::mutex> g(mu);
                if (!error) error = std::current_exception();
            }
            if (done.fetch_add(1, std::memory_order_acq_rel) + 1 == pieces) {
                std::lock_guard<std::mutex> g(mu);
                finished.notify_all();
            }
        }
    }
};

class Pool {
public:
    explicit Pool(size_t threads) : threads_(threads) {
        for (size_t i = 1; i < threads_; ++i) {
            try {
                std::thread(&Pool::loop, this).detach();
            } catch (...) {
                threads_ = i;  // fewer workers than asked; the caller still runs every job
                break;
            }
        }
    }
    size_t threads() const { return threads_; }

    void run(size_t pieces, const std::function<void(size_t)>& body) {
        if (pieces == 0) return;
        if (threads_ <= 1 || pieces == 1) {
            for (size_t i = 0; i < pieces; ++i) body(i);
            return;
        }
        auto job = std::make_shared<Job>();
        job->body = &body;
        job->pieces = pieces;
        {
            std::lock_guard<std::mutex> g(mu_);
            queue_.push_back(job);
        }
        wake_.notify_all();
        job->work();
        {
            std::unique_lock<std::mutex> g(job->mu);
            job->finished.wait(g, [&] { return job->done.load() == pieces; });
        }
        {
            std::lock_guard<std::mutex> g(mu_);
            auto it = std::find(queue_.begin(), queue_.end(), job);
            if (it != queue_.end()) queue_.erase(it);
        }
        if (job->error) std::rethrow_exception(job->error);
    }

private:
    void loop() {
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock<std::mutex> g(mu_);
                wake_.wait(g, [&] {
                    while (!queue_.empty() &&
                           queue_.front()->next.load(std::memory_order_relaxed) >=
                               queue_.front()->pieces)
                        queue_.pop_front();  // every piece handed out
                    return !queue_.empty();
                });
                job = queue_.front();
            }
            job->work();
        }
    }

    size_t threads_;
    std::mutex mu_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Job>> queue_;
};

std::atomic<Pool*> g_pool{nullptr};
std::mutex g_build;

// In a child after fork(): the parent's workers do not exist here, and its
// locks may have been copied while held. Forget the pool (its object is left
// alone) and start with a fresh build lock; the next job builds a new pool.
void forget_pool_in_child() {
    new (&g_build) std::mutex();
    g_pool.store(nullptr, std::memory_order_release);
}

Pool& pool() {
    Pool* p = g_pool.load(std::memory_order_acquire);
    if (p) return *p;
    std::lock_guard<std::mutex> g(g_build);
    p = g_pool.load(std::memory_order_acquire);
    if (p) return *p;
    static const bool registered = (pthread_atfork(nullptr, nullptr, forget_pool_in_child), true);
    (void)registered;
    p = new Pool(available_processors());  // never destroyed: workers may outlive main()
    g_pool.store(p, std::memory_order_release);
    return *p;
}

}  // namespace

size_t thread_count() { return pool().threads(); }

void run(size_t pieces, const std::function<void(size_t)>& body) { pool().run(pieces, body); }

}  // namespace brindel::pool
