#include "platform/LargeBuffer.h"

#include <cstdint>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#endif

namespace quorvel {

void AdviseLargeBuffer(void *data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole large pages inside the buffer can be advised.
    constexpr std::uintptr_t LargePage = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + LargePage - 1) & ~(LargePage - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(LargePage - 1);
    if (data && end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

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

} // namespace quorvel
