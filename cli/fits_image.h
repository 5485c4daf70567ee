// Images in and out of the tool: FITS through cfitsio, and the reference host's
// raw files (recognised by their magic) through host/image_file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image_file.h"

// True when the file starts with the raw image magic.
bool IsRawImageFile(const std::string& path);

// Reads a raw image, or the first 2-D image HDU of a FITS file (HDU `hdu`,
// 0 = primary, when given) as single-precision samples: any BITPIX, BSCALE
// and BZERO applied, BLANK and NaN samples as NaN. Throws ToolError.
RawImage ReadInputImage(const std::string& path, std::optional<std::int32_t> hdu);

struct FitsKeyword {
  std::string name;                 // "HISTORY": a HISTORY card holding `text`
  std::optional<long long> number;  // an integer keyword, else text
  std::string text;
  std::string comment;
  std::optional<double> real = std::nullopt;  // a real-valued keyword
};

// The bytes of a FITS file holding `image` as a BITPIX -32 primary HDU with
// the given keywords. Throws ToolError.
std::vector<unsigned char> EncodeFitsImage(const RawImage& image,
                                           const std::vector<FitsKeyword>& keywords);
