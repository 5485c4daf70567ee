// The parts of the output set that every back end shares.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "output_set.h"

namespace files {

void WriteWholeFile(const std::string& path, const void* data, std::size_t size, Replace replace) {
  OutputSet set;
  set.Add(path, replace).Write(data, size);
  set.Commit();
}

void RequireRegularInput(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec) throw FileError("cannot open " + path + ": " + ec.message());
  const char* kind = nullptr;
  switch (status.type()) {
    case fs::file_type::regular:
      break;
    case fs::file_type::directory:
      throw FileError(path + " is a folder, not an image");
    case fs::file_type::fifo:
      kind = "a FIFO";
      break;
    case fs::file_type::socket:
      kind = "a socket";
      break;
    case fs::file_type::character:
    case fs::file_type::block:
      kind = "a device";
      break;
    default:
      kind = "not a file";
      break;
  }
  // Reading one would block until a writer comes or never end.
  if (kind != nullptr) throw FileError(path + " is " + kind + ", not a regular file");
  std::ifstream probe(path, std::ios::binary);
  if (!probe) {
    throw FileError("cannot open " + path + ": " + std::strerror(errno));
  }
}

}  // namespace files
