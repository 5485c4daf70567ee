// One owner for each Windows handle the host holds: the release function runs
// exactly once, when the owner goes away or takes another handle.
#pragma once

#include <utility>

namespace host {

template <typename Handle, auto Release>
class Unique {
 public:
  Unique() = default;
  explicit Unique(Handle handle) : handle_(handle) {}
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  Unique(Unique&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.handle_, Handle{}));
    return *this;
  }
  ~Unique() { Reset(); }

  Handle Get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  Handle Release_() { return std::exchange(handle_, Handle{}); }
  void Reset(Handle handle = Handle{}) {
    if (handle_ != Handle{}) Release(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_{};
};

}  // namespace host
