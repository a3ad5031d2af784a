#pragma once
// Large buffers that are about to be filled: pictures of tens of megabytes.

#include <cstddef>

namespace quorvel {

// Zeroed memory straight from the system, given back to it at once when freed (an allocator
// may keep freed blocks for later): for buffers that shrink piece by piece while another grows.
// Null when the system has none to give.
void *AllocateSystemPages(std::size_t bytes);
// Frees what AllocateSystemPages gave, with the same size.
void FreeSystemPages(void *data, std::size_t bytes);

// From this size on a buffer is worth large pages; below it one would waste most of a page.
inline constexpr std::size_t kLargeBufferBytes = std::size_t(1) << 20;

// As AllocateSystemPages, but a buffer of kLargeBufferBytes or more starts on a large-page
// boundary and asks to be backed by large pages where the system offers them, so that filling it
// takes a few page faults instead of thousands. Only a hint: nothing fails when it is not taken.
void *AllocateLargePages(std::size_t bytes);
// Frees what AllocateLargePages gave, with the same size.
void FreeLargePages(void *data, std::size_t bytes);

// Makes this process's threads allocate from one heap instead of one each: a short-lived
// program that decodes on one thread and searches on another then reuses the pages one thread
// freed for the other's next buffers instead of faulting in fresh ones. Call it in main,
// before any thread starts.
void ShareOneHeap();

} // namespace quorvel
