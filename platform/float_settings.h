// The floating-point control settings of the host's thread (rounding,
// precision, exception masks). The module chooses none of its own: it records
// those in force when the library is loaded and puts them back after handling
// an error, in case a failed computation left them changed.
#pragma once

#include <cstdint>

namespace platform {

struct FloatSettings {
  std::uint32_t mxcsr = 0;        // SSE control and status
  std::uint16_t x87_control = 0;  // x87 control word (long double; all maths on 32-bit x86)
};

FloatSettings ReadFloatSettings() noexcept;
void WriteFloatSettings(const FloatSettings& settings) noexcept;

// Recorded once at load by the platform's start-up; restored after an error.
void RecordLoadFloatSettings() noexcept;
void RestoreLoadFloatSettings() noexcept;
const FloatSettings& LoadFloatSettings() noexcept;

}  // namespace platform
