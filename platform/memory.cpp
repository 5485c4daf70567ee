#include "platform/memory.h"

#include <cstdlib>
#include <utility>

#include "platform/errors.h"

namespace platform {
namespace {

constinit std::int64_t live_blocks = 0;

}  // namespace

MemoryBlock::MemoryBlock(std::int64_t bytes) {
  if (bytes < 0 || bytes > MaxBlockBytes) throw OutOfMemoryError();
  if (bytes == 0) return;
  data_ = std::malloc(static_cast<std::size_t>(bytes));
  if (data_ == nullptr) throw OutOfMemoryError();
  size_ = static_cast<std::size_t>(bytes);
  ++live_blocks;
}

MemoryBlock::MemoryBlock(MemoryBlock&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MemoryBlock& MemoryBlock::operator=(MemoryBlock&& other) noexcept {
  if (this != &other) {
    Reset();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

MemoryBlock::~MemoryBlock() { Reset(); }

void MemoryBlock::Reset() noexcept {
  if (data_ == nullptr) return;
  std::free(data_);
  data_ = nullptr;
  size_ = 0;
  --live_blocks;
}

std::int64_t LiveMemoryBlocks() { return live_blocks; }

}  // namespace platform
