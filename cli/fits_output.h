// Writing an image output as FITS: keyword makers and the one call that
// encodes an image into a pending output as its name asks (.gz, .fz).
#pragma once

#include <cstdint>
#include <string>

#include "files/output_set.h"
#include "fits_image.h"

inline FitsKeyword Number(const char* name, long long value, const char* comment) {
  return FitsKeyword{name, value, comment};
}
inline FitsKeyword Real(const char* name, double value, const char* comment) {
  return FitsKeyword{name, value, comment};
}
inline FitsKeyword Text(const char* name, std::string value, const char* comment) {
  return FitsKeyword{name, std::move(value), comment};
}

// Writes FITS straight into the output, encoded as its name asks.
void WriteFits(files::Output& out, std::int32_t width, std::int32_t height, const float* samples,
               const FitsHeader& header);

// HISTORY naming where an image came from: the tool, the input file and HDU.
std::string MadeFrom(const std::string& input, const InputImage& image);
