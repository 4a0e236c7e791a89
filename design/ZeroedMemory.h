#pragma once

#include <cstddef>

// Zero-filled storage for large record arrays. Large blocks come straight from the operating
// system as whole pages, advised for huge pages where the system offers them, so that a list
// of millions of records takes a few hundred first-touch faults instead of tens of thousands;
// small blocks come from calloc. Null when the memory cannot be had.
void* allocateZeroed(std::size_t bytes);
// Frees a block from allocateZeroed; `bytes` is the size it was obtained with.
void releaseZeroed(void* block, std::size_t bytes) noexcept;
