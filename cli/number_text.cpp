#include "number_text.h"

#include <charconv>
#include <cmath>

namespace {

// from_chars accepts a leading '-' but no '+', and stops at the first
// character that is not a digit; both ends are checked here.
template <typename T>
std::optional<T> ParseWhole(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  T value{};
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value, 10);
  if (ec != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  return ParseWhole<std::int32_t>(text);
}

std::optional<std::pair<std::int32_t, std::int32_t>> ParseInt32Pair(std::string_view text,
                                                                    char separator) {
  const std::size_t at = text.find(separator);
  if (at == std::string_view::npos) return std::nullopt;
  const auto first = ParseInt32(text.substr(0, at));
  const auto second = ParseInt32(text.substr(at + 1));
  if (!first || !second) return std::nullopt;
  return std::pair{*first, *second};
}

std::optional<std::uint64_t> ParseUint64(std::string_view text) {
  if (!text.empty() && text.front() == '-') return std::nullopt;
  return ParseWhole<std::uint64_t>(text);
}

std::optional<float> ParseFiniteFloat(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  float value = 0;
  const char* end = text.data() + text.size();
  // from_chars rounds the decimal text to the nearest float at once.
  const auto [stop, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ec != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}
