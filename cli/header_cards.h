// Keyword values from a header held as text: 80-character cards one after
// another, as cfitsio's fits_hdr2str gives them and wcslib's parser takes them.
#pragma once

#include <optional>
#include <string>

// The value of keyword `name` as text (a string's quotes removed, its
// trailing blanks dropped); empty when the header has no such card.
std::optional<std::string> HeaderValue(const std::string& cards, const std::string& name);
