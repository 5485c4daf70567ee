#include "image_file.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

#if defined(_WIN32)
#include <process.h>
#define COMA_PROCESS_ID _getpid
#else
#include <unistd.h>
#define COMA_PROCESS_ID getpid
#endif

namespace {

constexpr std::array<char, 8> kMagic = {'C', 'O', 'M', 'A', 'F', '3', '2', '\n'};

// Every platform we build for is little-endian, so the in-memory bytes of an
// int32 or a float are the file's bytes.
static_assert(sizeof(float) == 4 && std::numeric_limits<float>::is_iec559);

}  // namespace

bool ReadRawImage(const std::string& path, RawImage* image, std::string* error) {
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

bool WriteRawImage(const std::string& path, const RawImage& image, std::string* error) {
  const std::uint64_t count =
      std::uint64_t(std::uint32_t(image.width)) * std::uint32_t(image.height);
  if (image.width <= 0 || image.height <= 0 || image.samples.size() != count) {
    *error = "image size does not match its samples";
    return false;
  }
  // Named after this process so that two writers never share it, and never
  // one that exists already: it may be somebody's file.
  const std::string temporary = path + ".partial-" + std::to_string(COMA_PROCESS_ID());
  std::error_code exists_error;
  if (std::filesystem::exists(temporary, exists_error) || exists_error) {
    *error = "cannot write " + path + ": " + temporary + " is in the way";
    return false;
  }
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(kMagic.data(), kMagic.size());
    out.write(reinterpret_cast<const char*>(&image.width), sizeof image.width);
    out.write(reinterpret_cast<const char*>(&image.height), sizeof image.height);
    out.write(reinterpret_cast<const char*>(image.samples.data()),
              static_cast<std::streamsize>(count * 4));
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      *error = "cannot write " + path;
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::remove(temporary.c_str());
    *error = "cannot write " + path + ": " + ec.message();
    return false;
  }
  return true;
}
