// Exactly one owner for a handle or memory block: Unique<Handle, Release>
// calls Release once, when the owner goes away or is reset. Moves, never
// copies, so no handle is released twice.
#pragma once

#include <utility>

namespace platform {

template <class Handle, auto Release, Handle Null = Handle{}>
class Unique {
 public:
  constexpr Unique() noexcept = default;
  constexpr explicit Unique(Handle handle) noexcept : handle_(handle) {}
  Unique(Unique&& other) noexcept : handle_(other.Detach()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  ~Unique() { Reset(); }

  Handle Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Null; }

  // Releases the handle held, then holds `handle`.
  void Reset(Handle handle = Null) noexcept {
    Handle old = std::exchange(handle_, handle);
    if (old != Null) Release(old);
  }

  // Gives up ownership without releasing.
  [[nodiscard]] Handle Detach() noexcept { return std::exchange(handle_, Null); }

 private:
  Handle handle_ = Null;
};

}  // namespace platform
