// Conversion between text and signed 32-bit integers, as the dialog's fields
// need it. Platform-neutral.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Converts the whole text: leading spaces, an optional sign, then decimal
// digits within the int32 range or a hexadecimal number introduced by "$",
// "x", "X", "0x" or "0X" (at most eight significant digits, taken as a 32-bit
// two's-complement pattern). Nothing may follow. Throws ConvertError.
std::int32_t StrToInt(std::string_view text);

// Decimal text, with a minus sign for a negative value.
std::string IntToStr(std::int32_t value);

}  // namespace platform
