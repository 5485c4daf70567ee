// Errors raised inside a command that the user must see. Each is caught once,
// where the platform dispatches an event to its handler, and shown by the
// application object's error display; none ever leaves the DLL.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace platform {

class Error : public std::exception {
 public:
  explicit Error(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

 private:
  std::string message_;
};

// A text that is not a signed 32-bit integer: "'<text>' is not a valid integer value".
class ConvertError : public Error {
 public:
  using Error::Error;
};

// A memory block that cannot be had: "Out of memory".
class OutOfMemoryError : public Error {
 public:
  OutOfMemoryError() : Error("Out of memory") {}
};

}  // namespace platform
