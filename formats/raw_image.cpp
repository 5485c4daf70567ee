#include "raw_image.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>

namespace {

constexpr std::array<char, 8> kMagic = {'C', 'O', 'M', 'A', 'F', '3', '2', '\n'};

// Every platform we build for is little-endian, so the in-memory bytes of an
// int32 or a float are the file's bytes.
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559);

}  // namespace

bool ReadRawImage(const std::string& path, RawImage* image, std::string* error) {
  try {
    files::RequireRegularInput(path);
  } catch (const files::FileError& e) {
    *error = e.what();
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  std::array<char, 8> magic{};
  std::int32_t width = 0;
  std::int32_t height = 0;
  in.read(magic.data(), magic.size());
  in.read(reinterpret_cast<char*>(&width), sizeof width);
  in.read(reinterpret_cast<char*>(&height), sizeof height);
  if (!in || magic != kMagic) {
    *error = path + " is not a raw image file";
    return false;
  }
  if (width <= 0 || height <= 0) {
    *error = path + " has an invalid size";
    return false;
  }
  const std::uint64_t count = std::uint64_t(std::uint32_t(width)) * std::uint32_t(height);
  const std::uintmax_t expected = 16 + count * 4;
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) != expected || ec) {
    *error = path + " does not hold width x height samples";
    return false;
  }
  std::vector<float> samples(static_cast<std::size_t>(count));
  in.read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(count * 4));
  if (!in) {
    *error = "cannot read the samples of " + path;
    return false;
  }
  image->width = width;
  image->height = height;
  image->samples = std::move(samples);
  return true;
}

void WriteRawImage(files::Output& output, const RawImage& image) {
  const std::uint64_t count =
      std::uint64_t(std::uint32_t(image.width)) * std::uint32_t(image.height);
  if (image.width <= 0 || image.height <= 0 || image.samples.size() != count) {
    throw files::FileError("cannot write " + output.path() +
                           ": the image size does not match its samples");
  }
  std::array<unsigned char, 16> header{};
  std::memcpy(header.data(), kMagic.data(), kMagic.size());
  std::memcpy(header.data() + 8, &image.width, sizeof image.width);
  std::memcpy(header.data() + 12, &image.height, sizeof image.height);
  output.Write(header.data(), header.size());
  output.Write(image.samples.data(), image.samples.size() * sizeof(float));
}

bool WriteRawImage(const std::string& path, const RawImage& image, std::string* error) {
  try {
    files::OutputSet outputs;
    WriteRawImage(outputs.Add(path, files::Replace::kYes), image);
    outputs.Commit();
    return true;
  } catch (const files::FileError& e) {
    *error = e.what();
  } catch (const std::bad_alloc&) {
    *error = "cannot write " + path + ": out of memory";
  }
  return false;
}
