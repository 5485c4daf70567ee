// The tool's failures: a one-line message for stderr and the exit status the
// shell sees (2 for a bad command line, 1 for a file or its data).
#pragma once

#include <stdexcept>
#include <string>

inline constexpr int kExitData = 1;
inline constexpr int kExitUsage = 2;

class ToolError : public std::runtime_error {
 public:
  ToolError(int exit_code, const std::string& message)
      : std::runtime_error(message), exit_code_(exit_code) {}
  int exit_code() const { return exit_code_; }

 private:
  int exit_code_;
};

inline ToolError UsageError(const std::string& message) { return ToolError(kExitUsage, message); }
inline ToolError DataError(const std::string& message) { return ToolError(kExitData, message); }
