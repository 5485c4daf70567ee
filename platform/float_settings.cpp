#include "platform/float_settings.h"

namespace platform {
namespace {

constinit FloatSettings recorded{};
// Until recorded, there is nothing to restore (all-zero settings would
// unmask every floating-point exception).
constinit bool have_recorded = false;

}  // namespace

FloatSettings ReadFloatSettings() noexcept {
  FloatSettings s;
#if defined(__i386__) || defined(__x86_64__)
  __asm__ volatile("stmxcsr %0" : "=m"(s.mxcsr));
#endif
#if defined(__i386__) || defined(__x86_64__)
  __asm__ volatile("fnstcw %0" : "=m"(s.x87_control));
#endif
  return s;
}

void WriteFloatSettings(const FloatSettings& settings) noexcept {
#if defined(__i386__) || defined(__x86_64__)
  // The whole register goes back as recorded: control bits and the status
  // flags of that moment, so flags raised by the failed work are dropped.
  std::uint32_t mxcsr = settings.mxcsr;
  __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
#endif
#if defined(__i386__) || defined(__x86_64__)
  std::uint16_t cw = settings.x87_control;
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(cw));
#endif
}

void RecordLoadFloatSettings() noexcept {
  recorded = ReadFloatSettings();
  have_recorded = true;
}

void RestoreLoadFloatSettings() noexcept {
  if (have_recorded) WriteFloatSettings(recorded);
}

const FloatSettings& LoadFloatSettings() noexcept { return recorded; }

}  // namespace platform
