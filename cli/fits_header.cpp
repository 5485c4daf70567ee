#include "fits_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

std::string CardKeyword(const std::string& cards, std::size_t offset) {
  std::string keyword = cards.substr(offset, 8);
  keyword.erase(keyword.find_last_not_of(' ') + 1);
  return keyword;
}

namespace {

bool HasIndexedName(std::string_view keyword, std::string_view stem) {
  if (keyword.size() <= stem.size() || keyword.substr(0, stem.size()) != stem) return false;
  return std::all_of(keyword.begin() + static_cast<std::ptrdiff_t>(stem.size()), keyword.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

bool DescribesData(std::string_view keyword) {
  static constexpr std::array<std::string_view, 30> kNames = {
      "SIMPLE",   "XTENSION", "BITPIX",   "NAXIS",    "EXTEND",   "PCOUNT",  "GCOUNT",   "BSCALE",
      "BZERO",    "BLANK",    "DATAMIN",  "DATAMAX",  "INHERIT",  "DATE",    "CHECKSUM", "DATASUM",
      "END",      "ZIMAGE",   "ZCMPTYPE", "ZBITPIX",  "ZNAXIS",   "ZSIMPLE", "ZTENSION", "ZEXTEND",
      "ZBLOCKED", "ZPCOUNT",  "ZGCOUNT",  "ZHECKSUM", "ZDATASUM", "ZQUANTIZ"};
  if (std::find(kNames.begin(), kNames.end(), keyword) != kNames.end()) return true;
  // A tile-compressed image's header also shows the table that holds it.
  for (std::string_view stem : {"NAXIS", "ZNAXIS", "ZTILE", "ZNAME", "ZVAL", "TTYPE", "TFORM",
                                "TUNIT", "TNULL", "TSCAL", "TZERO", "TDIM", "TDISP", "TBCOL"}) {
    if (HasIndexedName(keyword, stem)) return true;
  }
  return keyword == "ZDITHER0" || keyword == "ZMASKCMP" || keyword == "TFIELDS" ||
         keyword == "THEAP" || keyword == "ZTHEAP";
}

// The two COMMENT cards cfitsio puts in every header it creates.
bool IsStandardComment(const std::string& card) {
  return card.rfind("COMMENT   FITS (Flexible Image Transport System) format is defined in", 0) ==
             0 ||
         card.rfind("COMMENT   and Astrophysics', volume 376, page 359;", 0) == 0;
}

}  // namespace

std::string InheritedCards(const std::string& header, const std::vector<std::string>& replaced) {
  bool has_equinox = false;
  for (std::size_t at = 0; at + kCardLength <= header.size(); at += kCardLength) {
    has_equinox = has_equinox || CardKeyword(header, at) == "EQUINOX";
  }
  std::string kept;
  for (std::size_t at = 0; at + kCardLength <= header.size(); at += kCardLength) {
    const std::string keyword = CardKeyword(header, at);
    if (keyword == "EPOCH") {
      // The deprecated name of EQUINOX, with the same value: kept under the
      // current name unless EQUINOX is there too.
      if (!has_equinox) kept += "EQUINOX " + header.substr(at + 8, kCardLength - 8);
      continue;
    }
    if (DescribesData(keyword)) continue;
    if (std::find(replaced.begin(), replaced.end(), keyword) != replaced.end()) continue;
    const std::string card = header.substr(at, kCardLength);
    if (IsStandardComment(card)) continue;
    kept += card;
  }
  return kept;
}

std::uint32_t AddOnesComplement(std::uint32_t a, std::uint32_t b) {
  const std::uint64_t sum = std::uint64_t{a} + b;
  return static_cast<std::uint32_t>((sum & 0xffffffffu) + (sum >> 32));
}

namespace {
std::uint32_t Fold(std::uint64_t sum) {
  while (sum >> 32) sum = (sum & 0xffffffffu) + (sum >> 32);
  return static_cast<std::uint32_t>(sum);
}
}  // namespace

std::uint32_t BigEndianWordSum(const unsigned char* bytes, std::size_t size) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    sum += std::uint32_t{bytes[i]} << 24 | std::uint32_t{bytes[i + 1]} << 16 |
           std::uint32_t{bytes[i + 2]} << 8 | bytes[i + 3];
  }
  return Fold(sum);
}

std::uint32_t FloatDataSum(const float* samples, std::size_t count) {
  // Up to 2^32 words of at most 2^32 - 1 each fit in 64 bits; fold in blocks
  // so that any count is safe.
  std::uint32_t total = 0;
  constexpr std::size_t kBlock = std::size_t{1} << 30;
  for (std::size_t first = 0; first < count; first += kBlock) {
    const std::size_t n = std::min(kBlock, count - first);
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
      std::uint32_t bits;
      std::memcpy(&bits, samples + first + i, sizeof bits);
      sum += bits;
    }
    total = AddOnesComplement(total, Fold(sum));
  }
  return total;
}
