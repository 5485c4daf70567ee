// Strict decimal parsing of the numbers on the command line: a whole value or
// an error, never a prefix, hexadecimal, octal or a silently clamped number.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// An optional sign and decimal digits that fit a signed 32-bit integer.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// Two such integers separated by `separator` ("12,-3" or "1024x768").
std::optional<std::pair<std::int32_t, std::int32_t>> ParseInt32Pair(std::string_view text,
                                                                    char separator);

// An unsigned decimal number that fits 64 bits.
std::optional<std::uint64_t> ParseUint64(std::string_view text);

// A decimal real number (as strtod reads it, without hexadecimal forms)
// rounded once to the nearest float; empty when it is not finite as a float.
std::optional<float> ParseFiniteFloat(std::string_view text);
