// The Win32 back end of the output set: each output is written into a new
// hidden file of a random name in its target's folder (created exclusively, so
// nothing planted there is followed) and moved into place at commit. A
// replaced file is kept under a backup name until every output is in place, so
// a failed commit can put each one back.
#include <windows.h>

#include <random>

#include "output_set.h"

namespace files {

namespace {

std::string SystemText(DWORD error) {
  char text[256] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(error) : message;
}

FileError WriteError(const std::string& path, DWORD error) {
  return FileError("cannot write " + path + ": " + SystemText(error));
}

std::string RandomSuffix() {
  static std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(10, 'x');
  for (char& c : suffix) c = kLetters[generator() % (sizeof kLetters - 1)];
  return suffix;
}

// A name of its own beside `target`.
std::string SiblingName(const std::string& target) {
  const std::size_t slash = target.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  return folder + "." + name + "." + RandomSuffix() + ".tmp";
}

}  // namespace

struct Output::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::string temporary;  // the new content until it is moved into place
  std::string backup;     // the replaced content until the commit is done
  bool replaces = false;
  bool placed = false;

  ~State() {
    if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    if (!temporary.empty()) ::DeleteFileA(temporary.c_str());
    if (!backup.empty()) ::DeleteFileA(backup.c_str());
  }
};

Output::Output(std::string path, std::unique_ptr<State> state)
    : path_(std::move(path)), state_(std::move(state)) {}

Output::~Output() = default;

bool Output::is_stream() const { return false; }

void Output::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(state_->handle, bytes, chunk, &written, nullptr)) {
      throw WriteError(path_, ::GetLastError());
    }
    if (written == 0) throw WriteError(path_, ERROR_WRITE_FAULT);
    bytes += written;
    size -= written;
  }
}

OutputSet::OutputSet() = default;
OutputSet::~OutputSet() = default;

Output& OutputSet::Add(const std::string& path, Replace replace) {
  if (committed_) throw FileError("cannot add " + path + " to outputs already committed");
  auto state = std::make_unique<Output::State>();
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw FileError(path + " is a folder");
    if (replace == Replace::kNo)
      throw FileError(path + " already exists", FileError::Kind::kExists);
    state->replaces = true;
  }
  for (int attempt = 0; attempt < 100 && state->handle == INVALID_HANDLE_VALUE; ++attempt) {
    const std::string name = SiblingName(path);
    state->handle = ::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (state->handle != INVALID_HANDLE_VALUE) {
      state->temporary = name;
    } else if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) {
      throw WriteError(path, ::GetLastError());
    }
  }
  if (state->handle == INVALID_HANDLE_VALUE) throw WriteError(path, ERROR_FILE_EXISTS);
  outputs_.push_back(std::unique_ptr<Output>(new Output(path, std::move(state))));
  return *outputs_.back();
}

void OutputSet::Commit() {
  if (committed_) throw FileError("outputs committed twice");
  for (const auto& output : outputs_) {
    Output::State& s = *output->state_;
    const bool flushed = ::FlushFileBuffers(s.handle) != 0;
    const DWORD error = ::GetLastError();
    ::CloseHandle(s.handle);
    s.handle = INVALID_HANDLE_VALUE;
    if (!flushed) throw WriteError(output->path(), error);
  }
  std::size_t placed = 0;
  try {
    for (; placed < outputs_.size(); ++placed) {
      Output& output = *outputs_[placed];
      Output::State& s = *output.state_;
      const char* target = output.path().c_str();
      if (s.replaces) {
        s.backup = SiblingName(output.path());
        if (!::ReplaceFileA(target, s.temporary.c_str(), s.backup.c_str(),
                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
          const DWORD error = ::GetLastError();
          s.backup.clear();
          throw WriteError(output.path(), error);
        }
      } else if (!::MoveFileExA(s.temporary.c_str(), target, MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
          throw FileError(output.path() + " already exists", FileError::Kind::kExists);
        }
        throw WriteError(output.path(), error);
      }
      s.temporary.clear();
      s.placed = true;
    }
  } catch (...) {
    for (std::size_t i = placed; i-- > 0;) {
      Output::State& s = *outputs_[i]->state_;
      const char* target = outputs_[i]->path().c_str();
      if (s.backup.empty()) {
        ::DeleteFileA(target);
      } else {
        // Moved back or not, the previous content is never removed.
        ::MoveFileExA(s.backup.c_str(), target, MOVEFILE_REPLACE_EXISTING);
        s.backup.clear();
      }
    }
    throw;
  }
  committed_ = true;
  // Each state removes its backup as it goes.
}

}  // namespace files
