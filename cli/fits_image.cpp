#include "fits_image.h"

#include <fitsio.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

#include "tool_error.h"

namespace {

struct FitsCloser {
  void operator()(fitsfile* file) const {
    int status = 0;
    fits_close_file(file, &status);
  }
};
using FitsFile = std::unique_ptr<fitsfile, FitsCloser>;

std::string FitsStatusText(int status) {
  std::array<char, FLEN_STATUS> text{};
  fits_get_errstatus(status, text.data());
  fits_clear_errmsg();
  return text.data();
}

// Samples are read in slices so that the double-precision staging buffer
// stays small for large images.
constexpr LONGLONG kSliceSamples = 1 << 20;

struct ImageShape {
  bool is_2d = false;
  LONGLONG width = 0;
  LONGLONG height = 0;
  int bitpix = 0;
};

// A 2-D image HDU; further axes of length 1 (NAXIS3 = 1 and so on) are
// accepted, since such a cube holds exactly one plane.
ImageShape CurrentHduShape(fitsfile* file) {
  ImageShape shape;
  int status = 0;
  int type = 0;
  if (fits_get_hdu_type(file, &type, &status) || type != IMAGE_HDU) return shape;
  int naxis = 0;
  if (fits_get_img_dim(file, &naxis, &status) || naxis < 2 || naxis > 9) return shape;
  std::array<LONGLONG, 9> axes{};
  if (fits_get_img_sizell(file, naxis, axes.data(), &status)) return shape;
  if (fits_get_img_type(file, &shape.bitpix, &status)) return shape;
  for (int i = 2; i < naxis; ++i) {
    if (axes[static_cast<std::size_t>(i)] != 1) return shape;
  }
  shape.width = axes[0];
  shape.height = axes[1];
  shape.is_2d = shape.width > 0 && shape.height > 0;
  return shape;
}

RawImage ReadFitsImage(const std::string& path, std::optional<std::int32_t> hdu) {
  fitsfile* opened = nullptr;
  int status = 0;
  // The disk-file entry takes the name literally: no cfitsio filename
  // syntax (brackets, filters, "-" for stdin) is applied to user paths.
  if (fits_open_diskfile(&opened, path.c_str(), READONLY, &status)) {
    throw DataError(path + " is not a FITS file (" + FitsStatusText(status) + ")");
  }
  FitsFile file(opened);
  int hdu_count = 0;
  if (fits_get_num_hdus(file.get(), &hdu_count, &status)) {
    throw DataError(path + ": cannot read its HDUs (" + FitsStatusText(status) + ")");
  }

  ImageShape shape;
  if (hdu) {
    if (*hdu >= hdu_count) {
      throw DataError(path + " has no HDU " + std::to_string(*hdu) + " (it has " +
                      std::to_string(hdu_count) + ", numbered from 0)");
    }
    if (fits_movabs_hdu(file.get(), *hdu + 1, nullptr, &status)) {
      throw DataError(path + ": cannot read HDU " + std::to_string(*hdu) + " (" +
                      FitsStatusText(status) + ")");
    }
    shape = CurrentHduShape(file.get());
    if (!shape.is_2d)
      throw DataError("HDU " + std::to_string(*hdu) + " of " + path + " is not a 2-D image");
  } else {
    for (int i = 1; i <= hdu_count && !shape.is_2d; ++i) {
      if (fits_movabs_hdu(file.get(), i, nullptr, &status)) {
        throw DataError(path + ": cannot read HDU " + std::to_string(i - 1) + " (" +
                        FitsStatusText(status) + ")");
      }
      shape = CurrentHduShape(file.get());
    }
    if (!shape.is_2d) throw DataError(path + " holds no 2-D image");
  }

  // The engine indexes samples with 32-bit integers.
  constexpr LONGLONG kMax = std::numeric_limits<std::int32_t>::max();
  if (shape.width > kMax || shape.height > kMax || shape.width * shape.height > kMax) {
    throw DataError(path + ": the image is too large (" + std::to_string(shape.width) + " x " +
                    std::to_string(shape.height) + ")");
  }
  const LONGLONG count = shape.width * shape.height;
  RawImage image;
  image.width = static_cast<std::int32_t>(shape.width);
  image.height = static_cast<std::int32_t>(shape.height);
  image.samples.resize(static_cast<std::size_t>(count));

  if (shape.bitpix == FLOAT_IMG) {
    // Single-precision data is copied bit for bit (NaN and -0 included).
    int any_null = 0;
    if (fits_read_img(file.get(), TFLOAT, 1, count, nullptr, image.samples.data(), &any_null,
                      &status)) {
      throw DataError(path + ": cannot read the samples (" + FitsStatusText(status) + ")");
    }
    return image;
  }
  // Every other BITPIX is scaled in double precision and rounded once to
  // single; integer samples equal to BLANK are flagged and become NaN.
  std::vector<double> slice(static_cast<std::size_t>(std::min(count, kSliceSamples)));
  std::vector<char> nulls(slice.size());
  for (LONGLONG first = 0; first < count; first += kSliceSamples) {
    const LONGLONG n = std::min(kSliceSamples, count - first);
    int any_null = 0;
    if (fits_read_imgnull(file.get(), TDOUBLE, first + 1, n, slice.data(), nulls.data(), &any_null,
                          &status)) {
      throw DataError(path + ": cannot read the samples (" + FitsStatusText(status) + ")");
    }
    for (LONGLONG i = 0; i < n; ++i) {
      const auto k = static_cast<std::size_t>(i);
      image.samples[static_cast<std::size_t>(first + i)] =
          nulls[k] ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>(slice[k]);
    }
  }
  return image;
}

}  // namespace

bool IsRawImageFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<char, 8> magic{};
  in.read(magic.data(), magic.size());
  return in && std::memcmp(magic.data(), "COMAF32\n", magic.size()) == 0;
}

RawImage ReadInputImage(const std::string& path, std::optional<std::int32_t> hdu) {
  {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) throw DataError("cannot open " + path + ": " + std::strerror(errno));
  }
  if (IsRawImageFile(path)) {
    if (hdu) throw UsageError("--hdu applies to FITS input only; " + path + " is a raw image");
    RawImage image;
    std::string error;
    if (!ReadRawImage(path, &image, &error)) throw DataError(error);
    return image;
  }
  return ReadFitsImage(path, hdu);
}

std::vector<unsigned char> EncodeFitsImage(const RawImage& image,
                                           const std::vector<FitsKeyword>& keywords) {
  // cfitsio writes into a growing memory block; the caller decides where the
  // bytes go, so that every output can be written through a temporary file.
  std::size_t size = 2880;
  void* memory = std::malloc(size);
  if (memory == nullptr) throw DataError("out of memory");
  struct MemoryFree {
    void** block;
    ~MemoryFree() { std::free(*block); }
  } free_memory{&memory};

  fitsfile* created = nullptr;
  int status = 0;
  if (fits_create_memfile(&created, &memory, &size, 0, std::realloc, &status)) {
    throw DataError("cannot create a FITS image (" + FitsStatusText(status) + ")");
  }
  FitsFile file(created);
  std::array<long, 2> axes = {image.width, image.height};
  const auto count = static_cast<LONGLONG>(image.samples.size());
  fits_create_img(file.get(), FLOAT_IMG, 2, axes.data(), &status);
  for (const FitsKeyword& key : keywords) {
    if (key.name == "HISTORY") {
      fits_write_history(file.get(), key.text.c_str(), &status);
    } else if (key.real) {
      // 15 significant digits give back any value typed on the command line.
      fits_write_key_dbl(file.get(), key.name.c_str(), *key.real, -15, key.comment.c_str(),
                         &status);
    } else if (key.number) {
      long long value = *key.number;
      fits_write_key(file.get(), TLONGLONG, key.name.c_str(), &value, key.comment.c_str(), &status);
    } else {
      fits_write_key(file.get(), TSTRING, key.name.c_str(), const_cast<char*>(key.text.c_str()),
                     key.comment.c_str(), &status);
    }
  }
  fits_write_img(file.get(), TFLOAT, 1, count, const_cast<float*>(image.samples.data()), &status);
  LONGLONG header_start = 0, data_start = 0, data_end = 0;
  fits_get_hduaddrll(file.get(), &header_start, &data_start, &data_end, &status);
  fits_close_file(file.release(), &status);
  if (status) throw DataError("cannot encode a FITS image (" + FitsStatusText(status) + ")");
  // The memory block may be larger than the file; the file ends where its
  // (padded) data unit ends.
  const auto length = static_cast<std::size_t>(data_end);
  if (length > size || length % 2880 != 0) throw DataError("cannot encode a FITS image");
  const auto* bytes = static_cast<const unsigned char*>(memory);
  return std::vector<unsigned char>(bytes, bytes + length);
}
