#include "sky_center.h"

#include <wcslib/wcs.h>
#include <wcslib/wcshdr.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "tool_error.h"

namespace {

std::optional<double> Decimal(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

// "dd:mm:ss.s", "dd mm ss.s" or "ddXmmYss.sZ" with the unit letters given;
// the sign applies to the whole angle. Empty for plain decimals.
std::optional<double> Sexagesimal(std::string_view text, const char* units) {
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  std::array<double, 3> parts{};
  std::size_t count = 0;
  while (!text.empty() && count < parts.size()) {
    const std::size_t stop = text.find_first_of(std::string(": ") + units);
    const std::string_view digits = text.substr(0, stop);
    if (digits.empty() || digits[0] == '-' || digits[0] == '+') return std::nullopt;
    const auto value = Decimal(digits);
    if (!value) return std::nullopt;
    parts[count++] = *value;
    if (stop == std::string_view::npos) {
      text = {};
      break;
    }
    const char separator = text[stop];
    if (std::strchr(units, separator) != nullptr && separator != units[count - 1]) {
      return std::nullopt;
    }
    text.remove_prefix(stop + 1);
  }
  if (!text.empty() || count < 2) return std::nullopt;
  // Only the last part may have a fraction; minutes and seconds stay below 60.
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (parts[i] != std::floor(parts[i])) return std::nullopt;
  }
  if (parts[1] >= 60 || parts[2] >= 60) return std::nullopt;
  const double angle = parts[0] + parts[1] / 60 + parts[2] / 3600;
  return negative ? -angle : angle;
}

struct WcsFree {
  int count = 0;
  void operator()(wcsprm* wcs) { wcsvfree(&count, &wcs); }
};

}  // namespace

std::optional<SkyPosition> ParseSkyPosition(std::string_view text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string_view::npos || text.find(',', comma + 1) != std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view ra_text = text.substr(0, comma);
  const std::string_view dec_text = text.substr(comma + 1);
  SkyPosition sky;
  if (const auto ra = Decimal(ra_text), dec = Decimal(dec_text); ra && dec) {
    sky = {*ra, *dec};
  } else {
    const auto hours = Sexagesimal(ra_text, "hms");
    const auto degrees = Sexagesimal(dec_text, "dms");
    if (!hours || !degrees || ra_text.front() == '-') return std::nullopt;
    sky = {*hours * 15, *degrees};
  }
  if (sky.ra < 0 || sky.ra >= 360 || sky.dec < -90 || sky.dec > 90) return std::nullopt;
  return sky;
}

PixelPosition SkyToPixel(const std::string& cards, SkyPosition sky, const std::string& source) {
  const std::string none = source + " has no celestial (RA/Dec) WCS for --center-sky";
  if (cards.size() < 80) throw DataError(none);
  std::vector<char> header(cards.begin(), cards.end());
  header.push_back('\0');
  int rejected = 0, count = 0;
  wcsprm* parsed = nullptr;
  if (wcspih(header.data(), static_cast<int>(cards.size() / 80), WCSHDR_all, 0, &rejected, &count,
             &parsed) != 0) {
    throw DataError(source + ": cannot read its WCS");
  }
  const std::unique_ptr<wcsprm, WcsFree> all(parsed, WcsFree{count});
  for (int i = 0; i < count; ++i) {
    wcsprm* wcs = parsed + i;
    if (wcsset(wcs) != 0 || wcs->lng < 0 || wcs->lat < 0) continue;
    if (std::strncmp(wcs->lngtyp, "RA", 2) != 0) continue;
    // Axes other than RA and Dec (a degenerate third axis) stay at their
    // reference value.
    const auto naxis = static_cast<std::size_t>(wcs->naxis);
    std::vector<double> world(wcs->crval, wcs->crval + naxis), image(naxis), pixel(naxis);
    world[static_cast<std::size_t>(wcs->lng)] = sky.ra;
    world[static_cast<std::size_t>(wcs->lat)] = sky.dec;
    double phi = 0, theta = 0;
    int stat = 0;
    if (wcss2p(wcs, 1, wcs->naxis, world.data(), &phi, &theta, image.data(), pixel.data(), &stat) !=
            0 ||
        !std::isfinite(pixel[0]) || !std::isfinite(pixel[1])) {
      throw DataError(source + ": the sky position does not project onto the image's WCS");
    }
    // FITS numbers pixels from 1 at the first pixel's centre.
    return PixelPosition{pixel[0] - 1, pixel[1] - 1};
  }
  throw DataError(none);
}
