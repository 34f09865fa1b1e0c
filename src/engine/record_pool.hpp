// Fixed-size blocks for cell records.
//
// A sheet of a million cells holds a million records of 32 bytes; through
// malloc each would cost 48 bytes. The pool carves them from 64 KiB chunks,
// each with a bitmap of its free blocks, so a record costs its own size and
// new records take the lowest free addresses. Chunks are kept for the life of
// the process and reused. Builds with sanitizers use
// plain operator new instead, so that use-after-free stays detectable.
#pragma once

#include <cstddef>

namespace brindel {

void* pool_allocate_32();
void pool_free_32(void* p) noexcept;

}  // namespace brindel
