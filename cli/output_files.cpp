#include "output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tool_error.h"

namespace fs = std::filesystem;

namespace {

// True when both paths name one file: the same inode for files that exist,
// else the same path once made absolute and resolved.
bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) {
    const bool same = fs::equivalent(a, b, ec);
    if (!ec) return same;
  }
  const fs::path ca = fs::weakly_canonical(fs::absolute(a), ec);
  const fs::path cb = fs::weakly_canonical(fs::absolute(b), ec);
  return ca == cb;
}

std::string ErrnoText() { return std::strerror(errno); }

// Moves `from` to `to`; without `replace` fails with EEXIST when `to` exists.
bool MoveIntoPlace(const std::string& from, const std::string& to, bool replace) {
  if (replace) return std::rename(from.c_str(), to.c_str()) == 0;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: a hard link is just as
  // exclusive.
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

// Writes bytes to a new temporary file beside `path`; returns its name.
std::string WriteTemporary(const OutputFile& output) {
  const fs::path target(output.path);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string name = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) throw DataError("cannot write " + output.path + ": " + ErrnoText());
  // mkstemp makes the file private; give it the mode a new file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
  const unsigned char* data = output.bytes.data();
  std::size_t left = output.bytes.size();
  while (ok && left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      ok = false;
      break;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  ok = ok && ::fsync(fd) == 0;
  const int saved = errno;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    const std::string reason = std::strerror(saved != 0 ? saved : errno);
    ::unlink(name.c_str());
    throw DataError("cannot write " + output.path + ": " + reason);
  }
  return name;
}

}  // namespace

void CheckOutputPaths(const std::vector<OutputFile>& outputs, const std::string& input,
                      bool force) {
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const OutputFile& out = outputs[i];
    if (!input.empty() && SameFile(out.path, input)) {
      throw DataError(out.option + " " + out.path + " is the input file; it is never overwritten");
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFile(out.path, outputs[j].path)) {
        throw DataError(out.option + " " + out.path + " is the same file as " + outputs[j].option);
      }
    }
    std::error_code ec;
    const fs::file_status status = fs::status(out.path, ec);
    if (fs::is_directory(status)) throw DataError(out.option + " " + out.path + " is a folder");
    if (fs::exists(status) && !force) {
      throw DataError(out.path + " already exists (use --force to replace it)");
    }
  }
}

void WriteOutputs(const std::vector<OutputFile>& outputs, bool force) {
  std::vector<std::string> temporaries;
  std::size_t placed = 0;
  try {
    for (const OutputFile& out : outputs) temporaries.push_back(WriteTemporary(out));
    for (; placed < outputs.size(); ++placed) {
      const OutputFile& out = outputs[placed];
      if (!MoveIntoPlace(temporaries[placed], out.path, force)) {
        if (errno == EEXIST)
          throw DataError(out.path + " already exists (use --force to replace it)");
        throw DataError("cannot write " + out.path + ": " + ErrnoText());
      }
    }
  } catch (...) {
    for (std::size_t i = placed; i < temporaries.size(); ++i) ::unlink(temporaries[i].c_str());
    // Without --force the outputs placed so far did not exist before.
    if (!force) {
      for (std::size_t i = 0; i < placed; ++i) ::unlink(outputs[i].path.c_str());
    }
    throw;
  }
}
