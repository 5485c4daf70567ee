#include "header_cards.h"

#include <fitsio.h>

#include <array>

namespace {

constexpr std::size_t kCard = 80;

}  // namespace

std::optional<std::string> HeaderValue(const std::string& cards, const std::string& name) {
  for (std::size_t at = 0; at + kCard <= cards.size(); at += kCard) {
    std::string card = cards.substr(at, kCard);
    const std::string key = card.substr(0, 8);
    if (key.substr(0, key.find_last_not_of(' ') + 1) != name || card.substr(8, 2) != "= ") continue;
    std::array<char, FLEN_VALUE> value{};
    std::array<char, FLEN_COMMENT> comment{};
    int status = 0;
    if (fits_parse_value(card.data(), value.data(), comment.data(), &status)) {
      fits_clear_errmsg();
      return std::nullopt;
    }
    std::string text = value.data();
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
      // A FITS string: quotes around it, a quote inside written twice.
      std::string unquoted;
      for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        unquoted += text[i];
        if (text[i] == '\'' && text[i + 1] == '\'') ++i;
      }
      text = unquoted.substr(0, unquoted.find_last_not_of(' ') + 1);
    }
    return text;
  }
  return std::nullopt;
}
