#pragma once
// Large buffers that are about to be filled: pictures of tens of megabytes.

#include <cstddef>

namespace quorvel {

// Asks the system to back the buffer with large pages where it offers them, so that filling it
// takes a few page faults instead of thousands. Call it after allocating and before the first
// write. Only a hint: it changes no contents and nothing fails when it is not taken.
void AdviseLargeBuffer(void *data, std::size_t bytes);

// Zeroed memory straight from the system, given back to it at once when freed (an allocator
// may keep freed blocks for later): for buffers that shrink piece by piece while another grows.
// Null when the system has none to give.
void *AllocateSystemPages(std::size_t bytes);
// Frees what AllocateSystemPages gave, with the same size.
void FreeSystemPages(void *data, std::size_t bytes);

} // namespace quorvel
