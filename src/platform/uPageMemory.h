#pragma once

// Whole committed pages for the device buffers: allocated once per streaming run, never while
// streaming, aligned as the audio drivers like them.

#include <cstddef>

namespace tavrin {

// The system's memory page size in bytes.
size_t PageSize();

// A fresh, zero-filled, read-write allocation of `bytes` (rounded up to whole pages) starting on
// a page boundary; nullptr when the system refuses it.
char* AllocatePages(size_t bytes);
// Releases what AllocatePages returned for the same `bytes`; nullptr is ignored.
void FreePages(char* pages, size_t bytes);

}  // namespace tavrin
