// Files a program writes appear whole or not at all, and all the outputs of one
// run appear together or not at all.
//
// Each output is written into a temporary in its target's folder (on Linux an
// unnamed O_TMPFILE, so nothing is left whatever ends the process) and put in
// place by Commit(). Until then the targets keep their previous content; a set
// destroyed without Commit() leaves nothing behind.
//
// What an output path names decides how it is written:
//   - nothing: a new file, created at Commit();
//   - a regular file: replaced at Commit(), only when `replace` is given;
//   - a symbolic link: followed; the file it names is written by these rules
//     and the link is left as it is;
//   - a character or block device or a FIFO, or a descriptor of this process
//     (/dev/stdout, /dev/fd/N): written straight into, with no temporary, as a
//     stream that no Commit() can take back;
//   - a folder or a socket: refused.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace files {

// A file that cannot be opened, written or put in place; the message names it.
class FileError : public std::runtime_error {
 public:
  enum class Kind { kOther, kExists };
  explicit FileError(const std::string& message, Kind kind = Kind::kOther)
      : std::runtime_error(message), kind_(kind) {}
  // The output exists and the set was not allowed to replace it.
  bool exists() const { return kind_ == Kind::kExists; }

 private:
  Kind kind_;
};

enum class Replace { kNo, kYes };

// One pending output of a set: an empty file open for writing.
class Output {
 public:
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // The path the caller gave.
  const std::string& path() const { return path_; }
  // Writes all of `size` bytes at the current position; throws FileError.
  void Write(const void* data, std::size_t size);
  void Write(const std::vector<unsigned char>& bytes) { Write(bytes.data(), bytes.size()); }
#if !defined(_WIN32)
  // The open descriptor, for libraries that write through one (it stays owned
  // by the output: do not close it).
  int fd() const;
  // A name under which fopen() and the like open this same file
  // ("/proc/self/fd/N").
  std::string OpenablePath() const;
#endif
  // True when the output goes straight into a device, FIFO or descriptor.
  bool is_stream() const;

  struct State;

 private:
  friend class OutputSet;
  Output(std::string path, std::unique_ptr<State> state);
  std::string path_;
  std::unique_ptr<State> state_;
};

class OutputSet {
 public:
  OutputSet();
  ~OutputSet();  // discards every output unless committed
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;

  // Opens the output for `path`; throws FileError (exists() when the path is
  // a regular file and `replace` is kNo). The reference stays valid for the
  // set's life.
  Output& Add(const std::string& path, Replace replace);

  // Puts every file output in place at once. On failure every target keeps
  // its previous content (a new one is removed again) and the FileError
  // names the output that could not be committed. Call at most once.
  void Commit();

 private:
  std::vector<std::unique_ptr<Output>> outputs_;
  bool committed_ = false;
};

// Writes `size` bytes as one output of its own set and commits it.
void WriteWholeFile(const std::string& path, const void* data, std::size_t size, Replace replace);

// Refuses, with a FileError naming it, an input that is missing, a folder, or
// not a regular file (a FIFO, socket or device would be read for ever or
// block until a writer comes).
void RequireRegularInput(const std::string& path);

}  // namespace files
