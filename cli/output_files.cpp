#include "output_files.h"

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

ToolError FromFileError(const files::FileError& e) {
  if (e.exists()) return DataError(std::string(e.what()) + " (use --force to replace it)");
  return DataError(e.what());
}

}  // namespace

RunOutputs::RunOutputs(std::string input, bool force) : input_(std::move(input)), force_(force) {}

files::Output& RunOutputs::Add(const std::string& option, const std::string& path) {
  if (!input_.empty() && SameFile(path, input_)) {
    throw DataError(option + " " + path + " is the input file; it is never overwritten");
  }
  // Several outputs may go into one character device such as /dev/null.
  std::error_code ec;
  if (!fs::is_character_file(path, ec)) {
    for (const auto& [other_option, other_path] : added_) {
      if (SameFile(path, other_path)) {
        throw DataError(option + " " + path + " is the same file as " + other_option);
      }
    }
  }
  try {
    files::Output& output = set_.Add(path, force_ ? files::Replace::kYes : files::Replace::kNo);
    added_.emplace_back(option, path);
    return output;
  } catch (const files::FileError& e) {
    throw FromFileError(e);
  }
}

files::Output* RunOutputs::AddIf(const std::string& option,
                                 const std::optional<std::string>& path) {
  return path ? &Add(option, *path) : nullptr;
}

void RunOutputs::Commit() {
  try {
    set_.Commit();
  } catch (const files::FileError& e) {
    throw FromFileError(e);
  }
}

void RequireInputFile(const std::string& path) {
  try {
    files::RequireRegularInput(path);
  } catch (const files::FileError& e) {
    throw FromFileError(e);
  }
}
