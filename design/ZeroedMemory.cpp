#include "design/ZeroedMemory.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this the allocator's own pool serves better; the sanitizers must see every block.
constexpr std::size_t kPagesFrom = 2 * kHugePage;

bool fromPages(std::size_t bytes)
{
#if defined(__linux__)
    return !kSanitized && bytes >= kPagesFrom;
#else
    (void)bytes;
    return false;
#endif
}

[[maybe_unused]] std::size_t roundedToHugePages(std::size_t bytes)
{
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

} // namespace

void* allocateZeroed(std::size_t bytes)
{
    if (!fromPages(bytes))
        return std::calloc(bytes == 0 ? 1 : bytes, 1);
#if defined(__linux__)
    if (bytes > SIZE_MAX - 2 * kHugePage)
        return nullptr;
    const std::size_t size = roundedToHugePages(bytes);
    // One huge page more than needed, so that an aligned start can be cut out of it; the
    // unaligned head and the tail go back at once.
    void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start)
        ::munmap(raw, aligned - start);
    if (const std::size_t tail = kHugePage - (aligned - start); tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + size), tail);
    void* block = reinterpret_cast<void*>(aligned);
    // Advice only: without transparent huge pages the block works the same.
    ::madvise(block, size, MADV_HUGEPAGE);
    return block;
#else
    return nullptr;
#endif
}

void releaseZeroed(void* block, std::size_t bytes) noexcept
{
    if (block == nullptr)
        return;
    if (!fromPages(bytes)) {
        std::free(block);
        return;
    }
#if defined(__linux__)
    ::munmap(block, roundedToHugePages(bytes));
#endif
}
