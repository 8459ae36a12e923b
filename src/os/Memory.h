#pragma once

// Memory for large pictures, straight from the system.

#include <cstddef>

namespace markwell::os {

// A block of memory for a picture of millions of pixels, taken from the system in one piece with
// its pages present from the start (as large pages where the system offers them), so that
// drawing or reading the picture does not stop at every 4 KiB page for the system to supply it.
// Null when the memory cannot be had. Give it back with releaseLargeBlock and the same size.
void* allocateLargeBlock(std::size_t bytes);
void releaseLargeBlock(void* block, std::size_t bytes) noexcept;

} // namespace markwell::os
