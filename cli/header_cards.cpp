#include "header_cards.h"

#include <fitsio.h>

#include <array>
#include <memory>

#include "fits_image.h"
#include "tool_error.h"

namespace {

struct FitsCloser {
  void operator()(fitsfile* file) const {
    int status = 0;
    fits_close_file(file, &status);
  }
};
using FitsFile = std::unique_ptr<fitsfile, FitsCloser>;

struct FitsMemoryFree {
  void operator()(char* text) const {
    int status = 0;
    fits_free_memory(text, &status);
  }
};

constexpr std::size_t kCard = 80;

}  // namespace

std::string ReadHeaderCards(const std::string& path, std::optional<std::int32_t> hdu) {
  if (IsRawImageFile(path)) return "";
  fitsfile* opened = nullptr;
  int status = 0;
  if (fits_open_diskfile(&opened, path.c_str(), READONLY, &status)) {
    fits_clear_errmsg();
    throw DataError(path + " is not a FITS file");
  }
  FitsFile file(opened);
  int count = 0;
  fits_get_num_hdus(file.get(), &count, &status);
  bool found = false;
  for (int i = hdu ? *hdu + 1 : 1; i <= (hdu ? *hdu + 1 : count) && !found && !status; ++i) {
    int type = 0, naxis = 0;
    fits_movabs_hdu(file.get(), i, &type, &status);
    if (!status && type == IMAGE_HDU) fits_get_img_dim(file.get(), &naxis, &status);
    found = !status && type == IMAGE_HDU && (naxis >= 2 || hdu);
  }
  char* text = nullptr;
  int cards = 0;
  // A tile-compressed image gives the header of the image it holds.
  if (found) fits_convert_hdr2str(file.get(), 0, nullptr, 0, &text, &cards, &status);
  const std::unique_ptr<char, FitsMemoryFree> owner(text);
  if (!found || status || text == nullptr) {
    fits_clear_errmsg();
    throw DataError(path + ": cannot read the image's header");
  }
  return std::string(text, static_cast<std::size_t>(cards) * kCard);
}

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
