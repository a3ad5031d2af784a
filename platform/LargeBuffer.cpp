#include "platform/LargeBuffer.h"

#include <cstdint>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quorvel {

void *AllocateSystemPages(std::size_t bytes)
{
    if (bytes == 0)
        return nullptr;
#if defined(_WIN32)
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
#elif defined(__unix__) || defined(__APPLE__)
    void *data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return data == MAP_FAILED ? nullptr : data;
#else
    return std::calloc(bytes, 1);
#endif
}

void FreeSystemPages(void *data, std::size_t bytes)
{
    if (!data)
        return;
#if defined(_WIN32)
    (void)bytes;
    VirtualFree(data, 0, MEM_RELEASE);
#elif defined(__unix__) || defined(__APPLE__)
    munmap(data, bytes);
#else
    (void)bytes;
    std::free(data);
#endif
}

#if defined(__linux__) && defined(MADV_HUGEPAGE)
namespace {

constexpr std::size_t LargePage = std::size_t(2) << 20;

std::size_t LargePagesSize(std::size_t bytes)
{
    return (bytes + LargePage - 1) / LargePage * LargePage;
}

} // namespace
#endif

void *AllocateLargePages(std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes < kLargeBufferBytes)
        return AllocateSystemPages(bytes);
    const std::size_t size = LargePagesSize(bytes);
    if (size < bytes || size + LargePage < size)
        return nullptr;
    // A large page more than asked for, then the unaligned ends given back.
    void *mapped = mmap(nullptr, size + LargePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t begin = (start + LargePage - 1) & ~std::uintptr_t(LargePage - 1);
    if (begin > start)
        munmap(mapped, begin - start);
    if (const std::size_t after = LargePage - (begin - start))
        munmap(reinterpret_cast<void *>(begin + size), after);
    void *data = reinterpret_cast<void *>(begin);
    madvise(data, size, MADV_HUGEPAGE);
    return data;
#else
    return AllocateSystemPages(bytes);
#endif
}

void FreeLargePages(void *data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (bytes < kLargeBufferBytes) {
        FreeSystemPages(data, bytes);
        return;
    }
    if (data)
        munmap(data, LargePagesSize(bytes));
#else
    FreeSystemPages(data, bytes);
#endif
}

void ShareOneHeap()
{
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
#endif
}

} // namespace quorvel
