// The reference host's own image file: a small raw format that the batch tool
// converts to and from FITS, so that the host needs no FITS library.
//
//   bytes 0..7   "COMAF32\n"
//   bytes 8..11  width, signed 32-bit little-endian
//   bytes 12..15 height, signed 32-bit little-endian
//   then width x height IEEE 754 single-precision samples, little-endian,
//   row-major (the sample of column x and row y at index x + y * width).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/output_set.h"

struct RawImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<float> samples;
};

// Reads a raw image file; on failure returns false and says why in *error.
bool ReadRawImage(const std::string& path, RawImage* image, std::string* error);

// Writes the whole file into a pending output; throws files::FileError.
void WriteRawImage(files::Output& output, const RawImage& image);

// Writes the file at `path` whole or not at all, replacing a file of that
// name. Returns false with *error set.
bool WriteRawImage(const std::string& path, const RawImage& image, std::string* error);
