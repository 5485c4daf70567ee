// Images in and out of the tool: FITS through cfitsio, and the reference host's
// raw files (recognised by their magic) through formats/raw_image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "byte_sink.h"
#include "formats/raw_image.h"

// True when the file starts with the raw image magic.
bool IsRawImageFile(const std::string& path);

struct InputImage {
  RawImage image;
  std::int32_t hdu = 0;  // the HDU read, 0 = primary (0 for a raw image)
  // The HDU's header as 80-character cards without END (for a tile-compressed
  // image, the header of the image it holds); empty for a raw image.
  std::string header;
};

// Reads a raw image, or the first 2-D image HDU of a FITS file (HDU `hdu`,
// 0 = primary, when given) as single-precision samples: any BITPIX, BSCALE
// and BZERO applied, BLANK and NaN samples as NaN. A header that declares
// more data than the file holds is refused before any sample buffer is made.
// Throws ToolError.
InputImage ReadInputImage(const std::string& path, std::optional<std::int32_t> hdu);
// The same for a FITS file held in memory; `name` names it in errors.
InputImage ReadFitsMemory(const void* bytes, std::size_t size, const std::string& name,
                          std::optional<std::int32_t> hdu);

struct FitsKeyword {
  std::string name;
  std::variant<long long, double, std::string> value;
  std::string comment;
};

// What an image output's header holds besides its structure.
struct FitsHeader {
  std::string inherited;  // cards of the input's header (see InheritedCards)
  std::vector<FitsKeyword> keywords;
  std::vector<std::string> history;  // one HISTORY record each
  bool dated = true;                 // a DATE card with the time of writing
};

// A header carrying `input_header`'s cards but the structural ones and those
// that `keywords` set anew.
FitsHeader HeaderFromInput(const std::string& input_header, std::vector<FitsKeyword> keywords,
                           std::vector<std::string> history);

enum class FitsEncoding {
  kPlain,  // a BITPIX -32 primary HDU
  kGzip,   // the same, gzip-compressed as a whole (names ending .gz)
  kTiled,  // a lossless tile-compressed image extension (names ending .fz)
};
FitsEncoding FitsEncodingFor(const std::string& path);

// Writes the image (row-major, `width` x `height`) as FITS: the structural cards, the inherited
// cards, the keywords, HISTORY, DATE, DATASUM and CHECKSUM. Throws ToolError.
void WriteFitsImage(ByteSink& sink, FitsEncoding encoding, std::int32_t width, std::int32_t height,
                    const float* samples, const FitsHeader& header);
