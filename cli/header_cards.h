// The input HDU's header as text: 80-character cards one after another, as
// cfitsio's fits_hdr2str gives them and wcslib's header parser takes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The header of the HDU ReadInputImage reads: HDU `hdu` (0 = primary) when
// given, else the first image HDU with at least two axes. "" for a raw
// image, which has no header. Throws ToolError.
std::string ReadHeaderCards(const std::string& path, std::optional<std::int32_t> hdu);

// The value of keyword `name` as text (a string's quotes removed, its
// trailing blanks dropped); empty when the header has no such card.
std::optional<std::string> HeaderValue(const std::string& cards, const std::string& name);
