// The process-wide worker pool: one per process, created by the first job and
// kept for the life of the process. The calling thread takes part in its own
// job and returns when every piece is done; the first exception of a piece is
// rethrown on the caller's thread.
//
// It has one participant per processor available to the process: the
// affinity mask, lowered by a CPU quota of the process's control groups, and
// by the environment variable BRINDEL_MAX_WORKERS when set (read once, when the
// pool is made; for measurements, 1 runs every job on the calling thread).
// The pool is never destroyed and its threads are detached, so an idle pool
// does not hold up exit; a child after fork() makes a pool of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace brindel::pool {

// Threads that take part in a job, the caller included.
size_t thread_count();

// Calls body(piece) for each piece in [0, pieces) on the pool.
void run(size_t pieces, const std::function<void(size_t)>& body);

// The processors a control group's CPU quota allows, rounded up, or nothing
// when it sets none: a cgroup v2 cpu.max line ("max 100000", "200000 100000"),
// or the cgroup v1 cpu.cfs_quota_us and cpu.cfs_period_us (-1: no quota).
std::optional<size_t> processors_from_cpu_max(std::string_view cpu_max) noexcept;
std::optional<size_t> processors_from_cfs(long long quota_us, long long period_us) noexcept;

}  // namespace brindel::pool
