#include "platform/int_text.h"

#include <cstddef>

#include "platform/errors.h"

namespace platform {
namespace {

[[noreturn]] void Fail(std::string_view text) {
  std::string message;
  message.reserve(text.size() + 32);
  message += '\'';
  message += text;
  message += "' is not a valid integer value";
  throw ConvertError(std::move(message));
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::int32_t StrToInt(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;

  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }

  // The hexadecimal prefixes: "$", "x", "X", "0x", "0X".
  bool hex = false;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == n) Fail(text);  // no digit at all: empty, spaces only, a bare sign or prefix

  if (hex) {
    // At most eight significant digits: leading zeros do not count. The digits
    // form a 32-bit pattern, so eight F give -1.
    std::uint32_t pattern = 0;
    int significant = 0;
    for (; i < n; ++i) {
      const int digit = HexDigitValue(text[i]);
      if (digit < 0) Fail(text);
      if (significant == 0 && digit == 0) continue;
      if (++significant > 8) Fail(text);
      pattern = (pattern << 4) | static_cast<std::uint32_t>(digit);
    }
    if (negative) pattern = 0u - pattern;
    return static_cast<std::int32_t>(pattern);
  }

  // Decimal: the magnitude may reach 2147483648 only for a negative number.
  const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
  std::uint64_t magnitude = 0;
  for (; i < n; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') Fail(text);
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    if (magnitude > limit) Fail(text);
  }
  const std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
  return static_cast<std::int32_t>(negative ? 0u - bits : bits);
}

std::string IntToStr(std::int32_t value) {
  // Work on the magnitude as unsigned so that the most negative value has one.
  std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char digits[11];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::string text;
  text.reserve(count + 1);
  if (value < 0) text += '-';
  while (count > 0) text += digits[--count];
  return text;
}

}  // namespace platform
