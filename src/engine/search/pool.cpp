#include "pool.hpp"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace brindel::pool {

std::optional<size_t> processors_from_cpu_max(std::string_view text) noexcept {
    // "<quota> <period>", where the quota may be "max" (no limit).
    size_t sp = text.find(' ');
    if (sp == std::string_view::npos) return std::nullopt;
    std::string_view quota = text.substr(0, sp), period = text.substr(sp + 1);
    while (!period.empty() && (period.back() == '\n' || period.back() == ' ')) period.remove_suffix(1);
    long long q = 0, p = 0;
    auto num = [](std::string_view t, long long& out) {
        auto r = std::from_chars(t.data(), t.data() + t.size(), out);
        return r.ec == std::errc() && r.ptr == t.data() + t.size();
    };
    if (quota == "max" || !num(quota, q) || !num(period, p)) return std::nullopt;
    return processors_from_cfs(q, p);
}

std::optional<size_t> processors_from_cfs(long long quota_us, long long period_us) noexcept {
    if (quota_us <= 0 || period_us <= 0) return std::nullopt;
    return static_cast<size_t>(std::max<long long>(1, (quota_us + period_us - 1) / period_us));
}

namespace {

std::optional<long long> read_number(const std::string& path) {
    std::ifstream f(path);
    long long v;
    if (f >> v) return v;
    return std::nullopt;
}

// The lowest CPU quota on the way from the process's control group up to the
// root of the hierarchy mounted at root (v2 cpu.max, v1 cfs quota/period).
std::optional<size_t> quota_processors(const std::string& root, std::string group, bool v2) {
    std::optional<size_t> best;
    for (;;) {
        std::string dir = root + (group == "/" ? "" : group);
        std::optional<size_t> here;
        if (v2) {
            std::ifstream f(dir + "/cpu.max");
            std::string line;
            if (std::getline(f, line)) here = processors_from_cpu_max(line);
        } else {
            auto quota = read_number(dir + "/cpu.cfs_quota_us");
            auto period = read_number(dir + "/cpu.cfs_period_us");
            if (quota && period) here = processors_from_cfs(*quota, *period);
        }
        if (here && (!best || *here < *best)) best = here;
        if (group.empty() || group == "/") break;
        size_t cut = group.find_last_of('/');
        group = cut == 0 || cut == std::string::npos ? "/" : group.substr(0, cut);
    }
    return best;
}

// What the control groups of the process allow, from /proc/self/cgroup: the
// unified line "0::/path" or a v1 line whose controllers include "cpu".
std::optional<size_t> cgroup_processors() {
    std::ifstream f("/proc/self/cgroup");
    std::string line;
    std::optional<size_t> best;
    auto lower = [&](std::optional<size_t> v) {
        if (v && (!best || *v < *best)) best = v;
    };
    while (std::getline(f, line)) {
        size_t a = line.find(':'), b = a == std::string::npos ? a : line.find(':', a + 1);
        if (b == std::string::npos) continue;
        std::string controllers = line.substr(a + 1, b - a - 1), group = line.substr(b + 1);
        if (controllers.empty()) {
            lower(quota_processors("/sys/fs/cgroup", group, true));
            continue;
        }
        bool cpu = false;
        for (size_t i = 0; i <= controllers.size();) {
            size_t j = std::min(controllers.find(',', i), controllers.size());
            cpu = cpu || controllers.compare(i, j - i, "cpu") == 0;
            i = j + 1;
        }
        if (cpu)
            for (const char* root : {"/sys/fs/cgroup/cpu,cpuacct", "/sys/fs/cgroup/cpu"})
                lower(quota_processors(root, group, false));
    }
    if (!best) lower(quota_processors("/sys/fs/cgroup", "/", true));
    return best;
}

// Processors this process may use: the affinity mask, lowered by a CPU quota
// of its control groups, and by BRINDEL_MAX_WORKERS when that is set (for
// measurements).
size_t available_processors() {
    size_t n = 0;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) n = static_cast<size_t>(CPU_COUNT(&set));
    if (n == 0) n = std::max(1u, std::thread::hardware_concurrency());
    if (std::optional<size_t> limit = cgroup_processors()) n = std::max<size_t>(1, std::min(n, *limit));
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
