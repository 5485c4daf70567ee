// Checks StrToInt against a plain reference model written a different way
// (strings compared and parsed by the standard library), and IntToStr by the
// round trip. Any difference or crash stops the fuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/int_text.h"

namespace {

std::optional<std::int32_t> Reference(std::string s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  s.erase(0, first);
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    s.erase(0, 1);
  }
  bool hex = false;
  for (const char* prefix : {"0x", "0X", "$", "x", "X"}) {
    if (s.rfind(prefix, 0) == 0) {
      hex = true;
      s.erase(0, std::strlen(prefix));
      break;
    }
  }
  const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
  if (s.empty() || s.find_first_not_of(allowed) != std::string::npos) return std::nullopt;
  const std::size_t nonzero = s.find_first_not_of('0');
  const std::string significant = nonzero == std::string::npos ? "0" : s.substr(nonzero);
  if (hex) {
    if (significant.size() > 8) return std::nullopt;
    std::uint32_t bits = static_cast<std::uint32_t>(std::stoul(significant, nullptr, 16));
    if (negative) bits = ~bits + 1u;
    return static_cast<std::int32_t>(bits);
  }
  const std::string bound = negative ? "2147483648" : "2147483647";
  if (significant.size() > bound.size() ||
      (significant.size() == bound.size() && significant > bound)) {
    return std::nullopt;
  }
  const long long value = std::stoll(significant);
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::int32_t> expected = Reference(text);
  std::optional<std::int32_t> actual;
  try {
    actual = platform::StrToInt(text);
  } catch (const platform::ConvertError& e) {
    if (e.Message() != "'" + text + "' is not a valid integer value") std::abort();
  }
  if (actual != expected) std::abort();

  if (size >= 4) {
    std::int32_t value;
    std::memcpy(&value, data, sizeof value);
    if (platform::StrToInt(platform::IntToStr(value)) != value) std::abort();
  }
  return 0;
}
