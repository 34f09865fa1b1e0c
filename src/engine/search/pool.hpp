// The process-wide worker pool: one per process, created by the first job and
// kept for the life of the process. The calling thread takes part in its own
// job and returns when every piece is done; the first exception of a piece is
// rethrown on the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace brindel::pool {

// Threads that take part in a job, the caller included.
size_t thread_count();

// Calls body(piece) for each piece in [0, pieces) on the pool.
void run(size_t pieces, const std::function<void(size_t)>& body);

}  // namespace brindel::pool
