// The POSIX back end of the output set: an unnamed O_TMPFILE in the target's
// folder, linked into place at commit; where the file system has none, a
// private mkstemp name, removed on every error and on SIGINT, SIGTERM and
// SIGHUP. Replacements are swapped in with renameat2(RENAME_EXCHANGE), so a
// failed commit can swap every one back.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "output_set.h"

namespace files {

namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

FileError WriteError(const std::string& path, int error) {
  return FileError("cannot write " + path + ": " + ErrnoText(error));
}

// Named temporaries that a signal must not leave behind. The handler may only
// make async-signal-safe calls, so the names live in fixed slots.
struct TemporarySlot {
  std::atomic<int> dir_fd{-1};
  char name[NAME_MAX + 1] = {};
};
TemporarySlot g_slots[64];

extern "C" void RemoveTemporariesAndDie(int signal_number) {
  for (TemporarySlot& slot : g_slots) {
    const int dir_fd = slot.dir_fd.load();
    if (dir_fd >= 0) ::unlinkat(dir_fd, slot.name, 0);
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

void InstallCleanupHandlers() {
  static const bool installed = [] {
    for (const int signal_number : kCleanupSignals) {
      struct sigaction previous {};
      ::sigaction(signal_number, nullptr, &previous);
      // A program that handles the signal itself keeps its handler.
      if (previous.sa_handler != SIG_DFL) continue;
      struct sigaction action {};
      action.sa_handler = RemoveTemporariesAndDie;
      ::sigemptyset(&action.sa_mask);
      ::sigaction(signal_number, &action, nullptr);
    }
    return true;
  }();
  (void)installed;
}

// Returns the slot, or nullptr when all are taken (then only a signal can
// leave the file behind).
TemporarySlot* Remember(int dir_fd, const std::string& name) {
  InstallCleanupHandlers();
  if (name.size() > NAME_MAX) return nullptr;
  for (TemporarySlot& slot : g_slots) {
    // Claimed with -2 while the name is copied; the handler skips it until
    // the folder is stored.
    int expected = -1;
    if (!slot.dir_fd.compare_exchange_strong(expected, -2)) continue;
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.dir_fd.store(dir_fd);
    return &slot;
  }
  return nullptr;
}

void Forget(TemporarySlot*& slot) {
  if (slot != nullptr) slot->dir_fd.store(-1);
  slot = nullptr;
}

// Holds SIGINT, SIGTERM and SIGHUP back while a commit runs, so that it ends
// with every target swapped in or every one restored.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    ::sigemptyset(&held);
    for (const int signal_number : kCleanupSignals) ::sigaddset(&held, signal_number);
    ::sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

std::string RandomSuffix() {
  static std::mt19937_64 generator{std::random_device{}()};
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string suffix(10, 'x');
  for (char& c : suffix) c = kLetters[generator() % (sizeof kLetters - 1)];
  return suffix;
}

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string LastName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What an output path finally names once its symbolic links are followed.
struct Resolved {
  std::string path;
  int descriptor = -1;  // >= 0: a link to this process's descriptor N
};

// The descriptor N when `link` is an entry of this process's /proc/PID/fd.
int OwnDescriptor(const std::string& link) {
  char* folder = ::realpath(Folder(link).empty() ? "." : Folder(link).c_str(), nullptr);
  if (folder == nullptr) return -1;
  const bool own = std::string(folder) == "/proc/" + std::to_string(::getpid()) + "/fd";
  std::free(folder);
  if (!own) return -1;
  const std::string number = LastName(link);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
      number.size() > 9) {
    return -1;
  }
  return std::stoi(number);
}

Resolved FollowLinks(const std::string& given) {
  std::string path = given;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) return {path};
      throw WriteError(given, errno);
    }
    if (!S_ISLNK(st.st_mode)) return {path};
    // /dev/stdout and /dev/fd/N: the descriptor itself, with the offset and
    // append mode the shell gave it.
    const int descriptor = OwnDescriptor(path);
    if (descriptor >= 0) return {path, descriptor};
    std::string text(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
    if (length < 0) throw WriteError(given, errno);
    text.resize(static_cast<std::size_t>(length));
    path = text.rfind('/', 0) == 0 ? text : Folder(path) + text;
  }
  throw WriteError(given, ELOOP);
}

// Links an unnamed file into `dir_fd` as `name`; fails with EEXIST when the
// name is taken.
int LinkUnnamed(int fd, int dir_fd, const std::string& name) {
  if (::linkat(fd, "", dir_fd, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  if (errno != ENOENT && errno != EPERM && errno != EINVAL) return -1;
  // AT_EMPTY_PATH needs a capability; the /proc name of the descriptor does not.
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, proc.c_str(), dir_fd, name.c_str(), AT_SYMLINK_FOLLOW);
}

// Moves `from` to `to` in one folder, failing with EEXIST when `to` exists.
int MoveNoReplace(int dir_fd, const std::string& from, const std::string& to) {
  if (::renameat2(dir_fd, from.c_str(), dir_fd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // Without the no-replace rename, a hard link is just as exclusive.
  if (::linkat(dir_fd, from.c_str(), dir_fd, to.c_str(), 0) != 0) return -1;
  ::unlinkat(dir_fd, from.c_str(), 0);
  return 0;
}

void CloseQuietly(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

struct Output::State {
  int fd = -1;
  bool stream = false;
  int dir_fd = -1;        // the target's folder
  std::string name;       // the target's name in it
  bool replaces = false;  // a regular file was there when opened
  std::string temporary;  // the private name of a named temporary, else ""
  TemporarySlot* temporary_slot = nullptr;
  // Commit: the name the new content was staged under, which holds the old
  // content once swapped in; how the target was put in place.
  std::string staged;
  TemporarySlot* staged_slot = nullptr;
  enum class Placed { kNo, kLinked, kSwapped, kRenamedOverBackup } placed = Placed::kNo;

  ~State() {
    CloseQuietly(fd);
    if (!temporary.empty()) ::unlinkat(dir_fd, temporary.c_str(), 0);
    Forget(temporary_slot);
    if (!staged.empty()) ::unlinkat(dir_fd, staged.c_str(), 0);
    Forget(staged_slot);
    CloseQuietly(dir_fd);
  }
};

Output::Output(std::string path, std::unique_ptr<State> state)
    : path_(std::move(path)), state_(std::move(state)) {}

Output::~Output() = default;

int Output::fd() const { return state_->fd; }

std::string Output::OpenablePath() const { return "/proc/self/fd/" + std::to_string(state_->fd); }

bool Output::is_stream() const { return state_->stream; }

void Output::Write(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(state_->fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) throw WriteError(path_, errno);
    if (written == 0) throw WriteError(path_, EIO);
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

OutputSet::OutputSet() = default;
OutputSet::~OutputSet() = default;

Output& OutputSet::Add(const std::string& path, Replace replace) {
  if (committed_) throw FileError("cannot add " + path + " to outputs already committed");
  auto state = std::make_unique<Output::State>();
  const Resolved resolved = FollowLinks(path);
  if (resolved.descriptor >= 0) {
    state->fd = ::fcntl(resolved.descriptor, F_DUPFD_CLOEXEC, 0);
    if (state->fd < 0) throw WriteError(path, errno);
    state->stream = true;
    outputs_.push_back(std::unique_ptr<Output>(new Output(path, std::move(state))));
    return *outputs_.back();
  }
  struct stat st {};
  mode_t mode = 0;
  if (::stat(resolved.path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) throw FileError(path + " is a folder");
    if (S_ISSOCK(st.st_mode)) throw FileError(path + " is a socket; it cannot be written");
    if (!S_ISREG(st.st_mode)) {
      // A device or FIFO is written into as it is, never replaced.
      state->fd = ::open(resolved.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
      if (state->fd < 0) throw WriteError(path, errno);
      state->stream = true;
      outputs_.push_back(std::unique_ptr<Output>(new Output(path, std::move(state))));
      return *outputs_.back();
    }
    if (replace == Replace::kNo)
      throw FileError(path + " already exists", FileError::Kind::kExists);
    state->replaces = true;
    mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    throw WriteError(path, errno);
  }

  state->name = LastName(resolved.path);
  if (state->name.empty() || state->name == "." || state->name == "..") {
    throw FileError(path + " is a folder");
  }
  const std::string folder = Folder(resolved.path);
  state->dir_fd = ::open(folder.empty() ? "." : folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (state->dir_fd < 0) throw WriteError(path, errno);
  state->fd = ::openat(state->dir_fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (state->fd < 0) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) throw WriteError(path, errno);
    // No unnamed files here: a private name that only this process uses.
    std::string pattern = (folder.empty() ? "./" : folder) + "." + state->name + ".XXXXXX";
    state->fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (state->fd < 0) throw WriteError(path, errno);
    state->temporary = LastName(pattern);
    state->temporary_slot = Remember(state->dir_fd, state->temporary);
    if (!state->replaces) {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
  }
  // A replacement keeps the permissions of the file it replaces.
  if ((state->replaces || !state->temporary.empty()) && ::fchmod(state->fd, mode) != 0) {
    throw WriteError(path, errno);
  }
  outputs_.push_back(std::unique_ptr<Output>(new Output(path, std::move(state))));
  return *outputs_.back();
}

namespace {

using Placed = Output::State::Placed;

// Gives the new content a name of its own beside the target, ready to swap.
void Stage(Output::State& s, const std::string& path) {
  if (!s.temporary.empty()) {
    s.staged = std::move(s.temporary);
    s.temporary.clear();
    s.staged_slot = s.temporary_slot;
    s.temporary_slot = nullptr;
    return;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = "." + s.name + "." + RandomSuffix();
    if (LinkUnnamed(s.fd, s.dir_fd, name) == 0) {
      s.staged = name;
      s.staged_slot = Remember(s.dir_fd, name);
      return;
    }
    if (errno != EEXIST) throw WriteError(path, errno);
  }
  throw WriteError(path, EEXIST);
}

// Puts one output in place; throws FileError leaving its target as it was.
void Place(Output::State& s, const std::string& path) {
  if (!s.replaces) {
    const int result = s.temporary.empty() ? LinkUnnamed(s.fd, s.dir_fd, s.name)
                                           : MoveNoReplace(s.dir_fd, s.temporary, s.name);
    if (result != 0) {
      if (errno == EEXIST) throw FileError(path + " already exists", FileError::Kind::kExists);
      throw WriteError(path, errno);
    }
    if (!s.temporary.empty()) {
      s.temporary.clear();
      Forget(s.temporary_slot);
    }
    s.placed = Placed::kLinked;
    return;
  }
  Stage(s, path);
  if (::renameat2(s.dir_fd, s.staged.c_str(), s.dir_fd, s.name.c_str(), RENAME_EXCHANGE) == 0) {
    s.placed = Placed::kSwapped;  // `staged` now holds the previous content
    return;
  }
  if (errno == ENOENT) {
    // The file to replace has gone meanwhile: the output is a new file now.
    if (MoveNoReplace(s.dir_fd, s.staged, s.name) != 0) throw WriteError(path, errno);
    s.staged.clear();
    Forget(s.staged_slot);
    s.placed = Placed::kLinked;
    return;
  }
  if (errno != EINVAL && errno != ENOSYS) throw WriteError(path, errno);
  // No exchange on this file system: keep the previous content under a
  // backup name, then rename the new one over the target.
  std::string backup;
  for (int attempt = 0; attempt < 100 && backup.empty(); ++attempt) {
    const std::string name = "." + s.name + "." + RandomSuffix();
    if (::linkat(s.dir_fd, s.name.c_str(), s.dir_fd, name.c_str(), 0) == 0)
      backup = name;
    else if (errno != EEXIST)
      throw WriteError(path, errno);
  }
  if (backup.empty()) throw WriteError(path, EEXIST);
  TemporarySlot* backup_slot = Remember(s.dir_fd, backup);
  if (::renameat(s.dir_fd, s.staged.c_str(), s.dir_fd, s.name.c_str()) != 0) {
    const int error = errno;
    ::unlinkat(s.dir_fd, backup.c_str(), 0);
    Forget(backup_slot);
    throw WriteError(path, error);
  }
  Forget(s.staged_slot);
  s.staged = backup;
  s.staged_slot = backup_slot;
  s.placed = Placed::kRenamedOverBackup;
}

// Puts the previous content (or nothing) back at the target.
void Restore(Output::State& s) {
  switch (s.placed) {
    case Placed::kNo:
      break;
    case Placed::kLinked:
      ::unlinkat(s.dir_fd, s.name.c_str(), 0);
      break;
    case Placed::kSwapped:
      if (::renameat2(s.dir_fd, s.staged.c_str(), s.dir_fd, s.name.c_str(), RENAME_EXCHANGE) != 0) {
        // The previous content stays under its staged name rather than go.
        s.staged.clear();
        Forget(s.staged_slot);
      }
      break;
    case Placed::kRenamedOverBackup:
      // Done or not, the previous content must not be removed.
      ::renameat(s.dir_fd, s.staged.c_str(), s.dir_fd, s.name.c_str());
      s.staged.clear();
      Forget(s.staged_slot);
      break;
  }
  s.placed = Placed::kNo;
}

}  // namespace

void OutputSet::Commit() {
  if (committed_) throw FileError("outputs committed twice");
  // Each output is complete in its unnamed file before any name points at
  // it, so whatever kills the process leaves every output whole or absent.
  // Like cp, mv and cfitsio's own utilities, the set is not forced to the
  // disk first: a sync costs more than the whole run on large frames, and
  // surviving a crash of the machine is left to the file system.
  SignalsHeld held;
  std::size_t placed = 0;
  try {
    for (; placed < outputs_.size(); ++placed) {
      Output& output = *outputs_[placed];
      if (!output.state_->stream) Place(*output.state_, output.path());
    }
  } catch (...) {
    for (std::size_t i = placed; i-- > 0;) Restore(*outputs_[i]->state_);
    throw;
  }
  committed_ = true;
  // The previous contents, kept until now under the staged names, go when
  // each output's state is destroyed.
  for (const auto& output : outputs_) {
    Output::State& s = *output->state_;
    if (!s.staged.empty()) ::unlinkat(s.dir_fd, s.staged.c_str(), 0);
    s.staged.clear();
    Forget(s.staged_slot);
  }
}

}  // namespace files
