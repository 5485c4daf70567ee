// Memory blocks for pixel data: one owner each, and "Out of memory" as the
// platform's error when a block cannot be had.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// The largest block handed out: what a 32-bit process can address as one
// object. The 64-bit build keeps the same limit so that it behaves as the
// product does, and so that pixel indices into a block fit 32 bits.
inline constexpr std::int64_t MaxBlockBytes = 0x7FFFFFFF;

class MemoryBlock {
 public:
  MemoryBlock() = default;
  // A block of `bytes` bytes; 0 gives an empty block. Throws
  // OutOfMemoryError for a negative size, one above MaxBlockBytes, or one the
  // heap refuses.
  explicit MemoryBlock(std::int64_t bytes);
  MemoryBlock(MemoryBlock&& other) noexcept;
  MemoryBlock& operator=(MemoryBlock&& other) noexcept;
  MemoryBlock(const MemoryBlock&) = delete;
  MemoryBlock& operator=(const MemoryBlock&) = delete;
  ~MemoryBlock();

  void* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  void Reset() noexcept;

 private:
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

// Blocks currently allocated by MemoryBlock (for leak checks).
std::int64_t LiveMemoryBlocks();

}  // namespace platform
