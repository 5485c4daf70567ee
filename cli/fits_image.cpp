#include "fits_image.h"

#include <fitsio.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>

#include "fits_header.h"
#include "sample_buffer.h"
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

// The data unit's bytes as its header declares them, without the padding
// to a whole block: the image for a plain HDU, the table and its heap for a
// tile-compressed image (whose tiles cfitsio checks as it reads them).
LONGLONG DeclaredDataBytes(fitsfile* file, const ImageShape& shape, bool compressed) {
  if (!compressed) return shape.width * shape.height * (std::abs(shape.bitpix) / 8);
  int status = 0;
  LONGLONG row_bytes = 0, rows = 0, heap = 0;
  fits_read_key(file, TLONGLONG, "NAXIS1", &row_bytes, nullptr, &status);
  fits_read_key(file, TLONGLONG, "NAXIS2", &rows, nullptr, &status);
  fits_read_key(file, TLONGLONG, "PCOUNT", &heap, nullptr, &status);
  if (status || row_bytes < 0 || rows < 0 || heap < 0) return -1;
  constexpr LONGLONG kMax = std::numeric_limits<LONGLONG>::max();
  if (row_bytes != 0 && rows > (kMax - heap) / row_bytes) return -1;
  return row_bytes * rows + heap;
}

void CheckDataInFile(fitsfile* file, const std::string& name, const ImageShape& shape,
                     LONGLONG file_size) {
  int status = 0;
  const bool compressed = fits_is_compressed_image(file, &status) != 0;
  LONGLONG header_start = 0, data_start = 0, data_end = 0;
  fits_get_hduaddrll(file, &header_start, &data_start, &data_end, &status);
  if (status) throw DataError(name + ": cannot read its header (" + FitsStatusText(status) + ")");
  const LONGLONG declared = DeclaredDataBytes(file, shape, compressed);
  const LONGLONG held = std::max<LONGLONG>(0, file_size - data_start);
  if (declared < 0 || declared > held) {
    throw DataError(
        name + ": the header declares " +
        (declared < 0 ? std::string("an impossible size of") : std::to_string(declared)) +
        " bytes of data but the file holds " + std::to_string(held) + " after the header");
  }
}

std::string HeaderCards(fitsfile* file, const std::string& name) {
  char* cards = nullptr;
  int count = 0;
  int status = 0;
  if (fits_hdr2str(file, 0, nullptr, 0, &cards, &count, &status)) {
    if (cards != nullptr) fits_free_memory(cards, &status);
    throw DataError(name + ": cannot read its header (" + FitsStatusText(status) + ")");
  }
  std::string header(cards);
  status = 0;
  fits_free_memory(cards, &status);
  return header;
}

// `file_size` is what the file holds (cfitsio may see it padded).
InputImage ReadFits(fitsfile* file, const std::string& path, std::optional<std::int32_t> hdu,
                    LONGLONG file_size) {
  int status = 0;
  int hdu_count = 0;
  if (fits_get_num_hdus(file, &hdu_count, &status)) {
    throw DataError(path + ": cannot read its HDUs (" + FitsStatusText(status) + ")");
  }

  InputImage input;
  ImageShape shape;
  if (hdu) {
    if (*hdu >= hdu_count) {
      throw DataError(path + " has no HDU " + std::to_string(*hdu) + " (it has " +
                      std::to_string(hdu_count) + ", numbered from 0)");
    }
    if (fits_movabs_hdu(file, *hdu + 1, nullptr, &status)) {
      throw DataError(path + ": cannot read HDU " + std::to_string(*hdu) + " (" +
                      FitsStatusText(status) + ")");
    }
    shape = CurrentHduShape(file);
    if (!shape.is_2d)
      throw DataError("HDU " + std::to_string(*hdu) + " of " + path + " is not a 2-D image");
    input.hdu = *hdu;
  } else {
    for (int i = 1; i <= hdu_count && !shape.is_2d; ++i) {
      if (fits_movabs_hdu(file, i, nullptr, &status)) {
        throw DataError(path + ": cannot read HDU " + std::to_string(i - 1) + " (" +
                        FitsStatusText(status) + ")");
      }
      shape = CurrentHduShape(file);
      input.hdu = i - 1;
    }
    if (!shape.is_2d) throw DataError(path + " holds no 2-D image");
  }

  // The engine indexes samples with 32-bit integers.
  constexpr LONGLONG kMax = std::numeric_limits<std::int32_t>::max();
  if (shape.width > kMax || shape.height > kMax || shape.width * shape.height > kMax) {
    throw DataError(path + ": the image is too large (" + std::to_string(shape.width) + " x " +
                    std::to_string(shape.height) + ")");
  }
  CheckDataInFile(file, path, shape, file_size);
  input.header = HeaderCards(file, path);

  const LONGLONG count = shape.width * shape.height;
  RawImage& image = input.image;
  image.width = static_cast<std::int32_t>(shape.width);
  image.height = static_cast<std::int32_t>(shape.height);
  image.samples = SampleBuffer(static_cast<std::size_t>(count));

  if (shape.bitpix == FLOAT_IMG) {
    // Single-precision data is read straight into the samples, bit for bit
    // (NaN and -0 included).
    int any_null = 0;
    if (fits_read_img(file, TFLOAT, 1, count, nullptr, image.samples.data(), &any_null, &status)) {
      throw DataError(path + ": cannot read the samples (" + FitsStatusText(status) + ")");
    }
    return input;
  }
  // Every other BITPIX is scaled in double precision and rounded once to
  // single; integer samples equal to BLANK are flagged and become NaN.
  std::vector<double> slice(static_cast<std::size_t>(std::min(count, kSliceSamples)));
  std::vector<char> nulls(slice.size());
  for (LONGLONG first = 0; first < count; first += kSliceSamples) {
    const LONGLONG n = std::min(kSliceSamples, count - first);
    int any_null = 0;
    if (fits_read_imgnull(file, TDOUBLE, first + 1, n, slice.data(), nulls.data(), &any_null,
                          &status)) {
      throw DataError(path + ": cannot read the samples (" + FitsStatusText(status) + ")");
    }
    for (LONGLONG i = 0; i < n; ++i) {
      const auto k = static_cast<std::size_t>(i);
      image.samples[static_cast<std::size_t>(first + i)] =
          nulls[k] ? std::numeric_limits<float>::quiet_NaN() : static_cast<float>(slice[k]);
    }
  }
  return input;
}

// ---- writing

struct MemoryBlock {
  void* data = nullptr;
  std::size_t size = 0;
  ~MemoryBlock() { std::free(data); }
};

// A cfitsio file in memory, for headers and tile-compressed images.
FitsFile CreateMemoryFits(MemoryBlock& block) {
  block.size = kFitsBlock;
  block.data = std::malloc(block.size);
  if (block.data == nullptr) throw DataError("out of memory");
  fitsfile* created = nullptr;
  int status = 0;
  if (fits_create_memfile(&created, &block.data, &block.size, 0, std::realloc, &status)) {
    throw DataError("cannot create a FITS image (" + FitsStatusText(status) + ")");
  }
  return FitsFile(created);
}

// Everything after the structural cards, written by cfitsio so that it
// formats and checks each card.
void WriteHeaderBody(fitsfile* file, const FitsHeader& header, int* status) {
  for (std::size_t at = 0; at + kCardLength <= header.inherited.size(); at += kCardLength) {
    const std::string card = header.inherited.substr(at, kCardLength);
    fits_write_record(file, card.c_str(), status);
  }
  for (const FitsKeyword& key : header.keywords) {
    const char* name = key.name.c_str();
    const char* comment = key.comment.c_str();
    if (const auto* integer = std::get_if<long long>(&key.value)) {
      long long value = *integer;
      fits_update_key(file, TLONGLONG, name, &value, comment, status);
    } else if (const auto* real = std::get_if<double>(&key.value)) {
      // 17 significant digits read back to the same double.
      fits_update_key_dbl(file, name, *real, -17, comment, status);
    } else {
      fits_update_key_str(file, name, std::get<std::string>(key.value).c_str(), comment, status);
    }
  }
  for (const std::string& line : header.history) fits_write_history(file, line.c_str(), status);
  if (header.dated) fits_write_date(file, status);
}

std::string MakeCard(const char* name, const std::string& value, const char* comment) {
  std::array<char, FLEN_CARD> card{};
  int status = 0;
  std::string text_value = value;  // cfitsio takes it as char*
  fits_make_key(name, text_value.data(), comment, card.data(), &status);
  std::string text(card.data());
  text.resize(kCardLength, ' ');
  return text;
}

// The header block(s) of a plain BITPIX -32 primary HDU, with DATASUM and
// CHECKSUM for data whose word sum is `data_sum`.
std::string PlainHeader(std::int32_t width, std::int32_t height, const FitsHeader& header,
                        std::uint32_t data_sum) {
  // cfitsio builds the header of an image without data (so that it never
  // fills a data unit in memory); the axes are put in afterwards.
  MemoryBlock block;
  FitsFile file = CreateMemoryFits(block);
  int status = 0;
  fits_create_img(file.get(), FLOAT_IMG, 0, nullptr, &status);
  WriteHeaderBody(file.get(), header, &status);
  char* cards = nullptr;
  int count = 0;
  fits_hdr2str(file.get(), 0, nullptr, 0, &cards, &count, &status);
  if (status) {
    if (cards != nullptr) fits_free_memory(cards, &status);
    throw DataError("cannot make a FITS header (" + FitsStatusText(status) + ")");
  }
  const std::string body(cards);
  fits_free_memory(cards, &status);

  std::string text;
  for (std::size_t at = 0; at + kCardLength <= body.size(); at += kCardLength) {
    const std::string keyword = CardKeyword(body, at);
    if (keyword == "END") break;
    if (keyword == "NAXIS") {
      text += MakeCard("NAXIS", "2", "number of data axes");
      text += MakeCard("NAXIS1", std::to_string(width), "length of data axis 1");
      text += MakeCard("NAXIS2", std::to_string(height), "length of data axis 2");
    } else {
      text.append(body, at, kCardLength);
    }
  }
  text += MakeCard("DATASUM", "'" + std::to_string(data_sum) + "'", "data unit checksum");
  const std::size_t checksum_at = text.size();
  text += MakeCard("CHECKSUM", "'0000000000000000'", "HDU checksum");
  text += std::string("END").append(kCardLength - 3, ' ');
  text.resize((text.size() + kFitsBlock - 1) / kFitsBlock * kFitsBlock, ' ');

  // The HDU's sum with CHECKSUM's own value counted becomes -0.
  const std::uint32_t sum = AddOnesComplement(
      BigEndianWordSum(reinterpret_cast<const unsigned char*>(text.data()), text.size()), data_sum);
  std::array<char, 17> encoded{};
  fits_encode_chksum(sum, 1, encoded.data());
  text.replace(checksum_at + 11, 16, encoded.data(), 16);
  return text;
}

void WritePlain(ByteSink& sink, std::int32_t width, std::int32_t height, const float* samples,
                const FitsHeader& header) {
  const std::size_t count = std::size_t(width) * std::size_t(height);
  const std::string head = PlainHeader(width, height, header, FloatDataSum(samples, count));
  sink.Write(head.data(), head.size());
  // Big-endian in slices of a reused buffer, straight to the sink.
  std::vector<std::uint32_t> slice(std::min<std::size_t>(count, 1 << 16));
  for (std::size_t first = 0; first < count; first += slice.size()) {
    const std::size_t n = std::min(slice.size(), count - first);
    std::memcpy(slice.data(), samples + first, n * sizeof(float));
    for (std::size_t i = 0; i < n; ++i) slice[i] = __builtin_bswap32(slice[i]);
    sink.Write(slice.data(), n * sizeof(float));
  }
  const std::size_t tail = (count * sizeof(float)) % kFitsBlock;
  if (tail != 0) {
    const std::array<unsigned char, kFitsBlock> zeros{};
    sink.Write(zeros.data(), kFitsBlock - tail);
  }
}

// A tile-compressed image in a memory file (cfitsio's own compression, GZIP
// with byte shuffling and no quantization, so every sample reads back the
// same), then handed to the sink.
void WriteTiled(ByteSink& sink, std::int32_t width, std::int32_t height, const float* samples,
                const FitsHeader& header) {
  MemoryBlock block;
  FitsFile file = CreateMemoryFits(block);
  int status = 0;
  std::array<long, 2> axes = {width, height};
  fits_set_compression_type(file.get(), GZIP_2, &status);
  fits_set_quantize_level(file.get(), 0.0f, &status);
  fits_create_img(file.get(), FLOAT_IMG, 2, axes.data(), &status);
  WriteHeaderBody(file.get(), header, &status);
  const auto count = static_cast<LONGLONG>(width) * height;
  fits_write_img(file.get(), TFLOAT, 1, count, const_cast<float*>(samples), &status);
  fits_write_chksum(file.get(), &status);
  fits_movabs_hdu(file.get(), 1, nullptr, &status);
  fits_write_chksum(file.get(), &status);
  fits_movabs_hdu(file.get(), 2, nullptr, &status);
  LONGLONG header_start = 0, data_start = 0, data_end = 0;
  fits_get_hduaddrll(file.get(), &header_start, &data_start, &data_end, &status);
  fits_close_file(file.release(), &status);
  if (status) throw DataError("cannot encode a FITS image (" + FitsStatusText(status) + ")");
  const auto length = static_cast<std::size_t>(data_end);
  if (length > block.size || length % kFitsBlock != 0) {
    throw DataError("cannot encode a FITS image");
  }
  sink.Write(block.data, length);
}

bool EndsWith(std::string text, const char* suffix) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

}  // namespace

bool IsRawImageFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<char, 8> magic{};
  in.read(magic.data(), magic.size());
  return in && std::memcmp(magic.data(), "COMAF32\n", magic.size()) == 0;
}

InputImage ReadInputImage(const std::string& path, std::optional<std::int32_t> hdu) {
  {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) throw DataError("cannot open " + path + ": " + std::strerror(errno));
  }
  if (IsRawImageFile(path)) {
    if (hdu) throw UsageError("--hdu applies to FITS input only; " + path + " is a raw image");
    InputImage input;
    std::string error;
    if (!ReadRawImage(path, &input.image, &error)) throw DataError(error);
    return input;
  }
  fitsfile* opened = nullptr;
  int status = 0;
  // The disk-file entry takes the name literally: no cfitsio filename
  // syntax (brackets, filters, "-" for stdin) is applied to user paths.
  if (fits_open_diskfile(&opened, path.c_str(), READONLY, &status)) {
    throw DataError(path + " is not a FITS file (" + FitsStatusText(status) + ")");
  }
  FitsFile file(opened);
  return ReadFits(file.get(), path, hdu, file.get()->Fptr->logfilesize);
}

InputImage ReadFitsMemory(const void* bytes, std::size_t size, const std::string& name,
                          std::optional<std::int32_t> hdu) {
  // cfitsio reads a memory file in whole 2880-byte blocks, so it gets a copy
  // padded with zeros to the next block; the size check still sees `size`.
  std::vector<unsigned char> padded((size + kFitsBlock - 1) / kFitsBlock * kFitsBlock);
  std::copy_n(static_cast<const unsigned char*>(bytes), size, padded.begin());
  void* memory = padded.data();
  std::size_t memory_size = padded.size();
  fitsfile* opened = nullptr;
  int status = 0;
  if (fits_open_memfile(&opened, name.c_str(), READONLY, &memory, &memory_size, 0, nullptr,
                        &status)) {
    throw DataError(name + " is not a FITS file (" + FitsStatusText(status) + ")");
  }
  FitsFile file(opened);
  return ReadFits(file.get(), name, hdu, static_cast<LONGLONG>(size));
}

FitsHeader HeaderFromInput(const std::string& input_header, std::vector<FitsKeyword> keywords,
                           std::vector<std::string> history) {
  std::vector<std::string> names;
  for (const FitsKeyword& key : keywords) names.push_back(key.name);
  return FitsHeader{InheritedCards(input_header, names), std::move(keywords), std::move(history)};
}

FitsEncoding FitsEncodingFor(const std::string& path) {
  if (EndsWith(path, ".gz")) return FitsEncoding::kGzip;
  if (EndsWith(path, ".fz")) return FitsEncoding::kTiled;
  return FitsEncoding::kPlain;
}

void WriteFitsImage(ByteSink& sink, FitsEncoding encoding, std::int32_t width, std::int32_t height,
                    const float* samples, const FitsHeader& header) {
  switch (encoding) {
    case FitsEncoding::kPlain:
      WritePlain(sink, width, height, samples, header);
      break;
    case FitsEncoding::kGzip: {
      GzipSink gzip(sink, "a gzip stream");
      WritePlain(gzip, width, height, samples, header);
      gzip.Finish();
      break;
    }
    case FitsEncoding::kTiled:
      WriteTiled(sink, width, height, samples, header);
      break;
  }
}
