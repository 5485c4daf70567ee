// How the tool's files reach the disk under faults: outputs that are devices,
// links or the tool's own standard output, a commit that fails half-way, a
// kill in the middle of a write, a name planted where a temporary might go,
// and an input that would block for ever. Each case checks the exit status,
// the one-line message and what the folder holds afterwards.
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "tool_support.h"

namespace {

namespace fs = std::filesystem;

using Entries = std::map<std::string, std::string>;

struct FaultCase {
  const char* name;
  // Makes the files the case needs; returns why the case cannot run here, or
  // "" when it can.
  std::function<std::string(const ScratchDir&)> setup;
  // Arguments; "@name" stands for the path of `name` in the scratch folder.
  std::vector<std::string> args;
  std::function<RunControl(const ScratchDir&)> control;
  int exit_code;
  const char* message;  // "" when the run succeeds and prints nothing on stderr
  // Checks the folder against its state before the run.
  std::function<void(const ScratchDir&, const Entries& before, const RunResult&)> check;
  std::function<void(const ScratchDir&)> cleanup = nullptr;
};

Image Frame() {
  Image image{9, 7, std::vector<float>(63)};
  for (std::size_t i = 0; i < image.samples.size(); ++i) image.samples[i] = float(i);
  return image;
}

std::string InputFits(const ScratchDir& s) {
  WriteFitsImage(s.Path("in.fits"), Frame());
  return "";
}

std::vector<std::string> Model(std::vector<std::string> extra) {
  std::vector<std::string> args = {"model", "@in.fits", "--center", "4,3", "--radius", "3"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

RunControl Plain(const ScratchDir&) { return {}; }

void Unchanged(const ScratchDir& s, const Entries& before, const RunResult&) {
  EXPECT_EQ(s.Snapshot(), before);
}

// True once the tool holds a file in the scratch folder open with some bytes
// in it: the write of an output has begun.
bool WritingInto(const std::string& dir, pid_t pid) {
  std::error_code ec;
  const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& entry : fs::directory_iterator(fds, ec)) {
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (ec || target.string().rfind(dir + "/", 0) != 0) continue;
    if (target.filename() == "in.fits") continue;
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) == 0 && st.st_size > 0) return true;
  }
  return false;
}

std::string NeedsRoot(const char* what) {
  return ::geteuid() == 0 ? "" : std::string("needs root to ") + what;
}

// A previous output that a killed run must leave as it was.
std::string PreviousBigOutput(const ScratchDir& s) {
  WriteBytes(s.Path("big.fits"), "old sample");
  return std::string();
}

std::vector<FaultCase> Cases() {
  return {
      // A device is written into, never replaced by a regular file.
      {"device_output_stays_a_device",
       [](const ScratchDir& s) {
         const std::string root = NeedsRoot("make a device node");
         if (!root.empty()) return root;
         InputFits(s);
         EXPECT_EQ(::mknod(s.Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
         return std::string();
       },
       Model({"-o", "@null", "--residual", "@null", "--force"}), Plain, 0, "",
       [](const ScratchDir& s, const Entries& before, const RunResult&) {
         struct stat st {};
         ASSERT_EQ(::lstat(s.Path("null").c_str(), &st), 0);
         EXPECT_TRUE(S_ISCHR(st.st_mode));
         EXPECT_EQ(st.st_rdev, makedev(1, 3));
         EXPECT_EQ(s.Snapshot(), before);
       }},
      // A link is followed: the file it names gets the model, the link stays.
      {"symlink_output_replaces_its_target",
       [](const ScratchDir& s) {
         InputFits(s);
         WriteBytes(s.Path("models/m.fits"), "old");
         fs::create_symlink("models/m.fits", s.Path("link.fits"));
         return std::string();
       },
       Model({"-o", "@link.fits", "--force"}), Plain, 0, "",
       [](const ScratchDir& s, const Entries& before, const RunResult&) {
         Entries after = s.Snapshot();
         EXPECT_EQ(after, before);  // the link itself, and nothing new beside it
         EXPECT_EQ(fs::read_symlink(s.Path("link.fits")), "models/m.fits");
         EXPECT_EQ(DecodeFits(s.Path("models/m.fits")).keys.at("COMAIMG"), "model");
         EXPECT_EQ(fs::directory_iterator(s.Path("models"))->path().filename(), "m.fits");
       }},
      // The tool's own standard output, here a regular file: written through
      // the descriptor the tool was given, with no --force; the run's summary
      // is left out so as not to mix with it.
      {"profile_to_standard_output", InputFits,
       Model({"-o", "@m.fits", "--profile", "/dev/stdout"}), Plain, 0, "",
       [](const ScratchDir& s, const Entries&, const RunResult& run) {
         EXPECT_EQ(run.out.rfind("# input: ", 0), 0u) << run.out;
         EXPECT_NE(run.out.find("\nradius,median,members\n1,"), std::string::npos) << run.out;
         EXPECT_EQ(run.out.find("wrote "), std::string::npos) << run.out;
         EXPECT_EQ(s.Snapshot().count("m.fits"), 1u);
       }},
      // The second output cannot be put in place: the first keeps its content.
      {"failed_commit_keeps_every_previous_output",
       [](const ScratchDir& s) {
         const std::string root = NeedsRoot("make a file immutable");
         if (!root.empty()) return root;
         InputFits(s);
         WriteBytes(s.Path("m.fits"), "old model");
         WriteBytes(s.Path("p.csv"), "old profile");
         const std::string command = "chattr +i '" + s.Path("p.csv") + "' 2>/dev/null";
         if (std::system(command.c_str()) != 0) {
           return std::string("chattr +i is not supported on ") + s.dir();
         }
         return std::string();
       },
       Model({"-o", "@m.fits", "--profile", "@p.csv", "--force"}), Plain, 1,
       "cannot write @p.csv: Operation not permitted", Unchanged,
       [](const ScratchDir& s) {
         const std::string command = "chattr -i '" + s.Path("p.csv") + "' 2>/dev/null";
         EXPECT_EQ(std::system(command.c_str()), 0);
       }},
      // SIGKILL while an output is being written leaves no temporary and the
      // previous output as it was.
      {"kill_during_write_leaves_nothing",
       PreviousBigOutput,
       {"sample", "@big.fits", "--size", "4096x4096", "--force"},
       [](const ScratchDir& s) {
         RunControl control;
         control.kill_when = [dir = s.dir()](pid_t pid) { return WritingInto(dir, pid); };
         control.timeout_ms = 120000;
         return control;
       },
       -1,
       "",
       Unchanged},
      // Where the file system has no unnamed files, the private temporary is
      // removed when SIGTERM ends the tool in the middle of the write.
      {"terminated_during_write_without_unnamed_files_leaves_nothing",
       PreviousBigOutput,
       {"sample", "@big.fits", "--size", "4096x4096", "--force"},
       [](const ScratchDir& s) {
         RunControl control;
         control.in_child = [] {
           ::setenv("LD_PRELOAD", NO_TMPFILE_SHIM, 1);
           // A sanitized tool accepts a preloaded library before its runtime.
           ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
         };
         control.kill_when = [dir = s.dir()](pid_t pid) { return WritingInto(dir, pid); };
         control.kill_signal = SIGTERM;
         control.timeout_ms = 120000;
         return control;
       },
       -1,
       "",
       Unchanged},
      // A dangling link planted at a temporary name that can be guessed (the
      // output's name and the process id) is neither followed nor replaced.
      {"planted_link_at_a_temporary_name_is_not_followed",
       InputFits,
       {"convert", "@in.fits", "@out.f32"},
       [](const ScratchDir& s) {
         RunControl control;
         control.in_child = [dir = s.dir()] {
           const std::string link = dir + "/out.f32.partial-" + std::to_string(::getpid());
           if (::symlink((dir + "/victim").c_str(), link.c_str()) != 0) ::_exit(125);
         };
         return control;
       },
       0,
       "",
       [](const ScratchDir& s, const Entries&, const RunResult&) {
         EXPECT_FALSE(fs::exists(fs::symlink_status(s.Path("victim"))));
         EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(s.Path("out.f32"))));
         EXPECT_TRUE(SameSamples(DecodeRaw(s.Path("out.f32")).samples, Frame().samples));
       }},
      // A FIFO with no writer is refused at once instead of waited on.
      {"fifo_input_is_refused",
       [](const ScratchDir& s) {
         EXPECT_EQ(::mkfifo(s.Path("in.fits").c_str(), 0644), 0);
         return std::string();
       },
       Model({"-o", "@m.fits"}),
       [](const ScratchDir&) {
         RunControl control;
         control.timeout_ms = 20000;
         return control;
       },
       1, "@in.fits is a FIFO, not a regular file", Unchanged},
  };
}

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FileFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FileFault, ExitsAsExpectedAndLeavesTheFolderSound) {
  const FaultCase& c = GetParam();
  ScratchDir scratch;
  fs::create_directory(scratch.Path("models"));
  const std::string skip = c.setup(scratch);
  if (!skip.empty()) GTEST_SKIP() << skip;
  const auto expand = [&scratch](std::string text) {
    const std::size_t at = text.find('@');
    if (at == std::string::npos) return text;
    const std::size_t end = text.find_first_of(" :", at);
    const std::string name = text.substr(at + 1, end == std::string::npos ? end : end - at - 1);
    return text.replace(at, name.size() + 1, scratch.Path(name));
  };
  std::vector<std::string> args;
  for (const std::string& a : c.args) args.push_back(expand(a));
  const Entries before = scratch.Snapshot();
  const RunResult run = RunToolWith(args, c.control(scratch));
  if (c.cleanup) c.cleanup(scratch);

  if (c.exit_code < 0) {
    EXPECT_TRUE(run.killed) << "the tool ended before it was killed: " << run.err;
  } else {
    EXPECT_FALSE(run.killed) << "the tool did not end";
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
  }
  const std::string message = expand(c.message);
  if (message.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_EQ(run.err, "comamodel: " + message + "\n");
  }
  c.check(scratch, before, run);
}

INSTANTIATE_TEST_SUITE_P(Cases, FileFault, ::testing::ValuesIn(Cases()),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
