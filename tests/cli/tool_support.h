// Helpers for the batch tool's tests: run the built tool, make FITS files with
// cfitsio, decode its outputs independently of the tool's own readers, and
// compute the expected model with the engine directly.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
  bool killed = false;
};

// Runs comamodel with `args` (in folder `cwd` when given).
RunResult RunTool(const std::vector<std::string>& args, const std::string& cwd = "");

// How RunToolWith runs the tool: something done in the child just before it
// starts the tool (it knows the tool's process id then), a condition polled
// every millisecond while the tool runs that SIGKILLs it once true, and a
// time after which it is SIGKILLed in any case (0: none). A killed run has
// exit_code -1 and `killed` set.
struct RunControl {
  std::function<void()> in_child;
  std::function<bool(pid_t)> kill_when;
  int kill_signal = 9;  // what kill_when sends: SIGKILL unless told
  int timeout_ms = 0;
};
RunResult RunToolWith(const std::vector<std::string>& args, const RunControl& control);

// A private folder, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& dir() const { return dir_; }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  // Every entry (hidden ones included) and its content; a symbolic link as
  // "-> target", a folder as "<folder>", a FIFO, device or socket as its kind.
  std::map<std::string, std::string> Snapshot() const;

 private:
  std::string dir_;
};

struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<float> samples;
};

// The primary HDU of a plain FITS file (BITPIX 16 or -32, NAXIS 2), decoded
// from the file's bytes, with its header keywords (text values unquoted).
struct FitsPrimary {
  int bitpix = 0;
  Image image;
  std::map<std::string, std::string> keys;
};
FitsPrimary DecodeFits(const std::string& path);

// A raw .f32 file decoded from its bytes.
Image DecodeRaw(const std::string& path);

// One HDU for WriteFits. `stored` holds the values as stored in the file
// (integers before BSCALE/BZERO); `table` makes a small binary table instead.
struct HduSpec {
  int bitpix = -32;
  std::vector<long> axes;
  std::vector<double> stored;
  std::optional<double> bscale, bzero;
  std::optional<long long> blank;
  bool table = false;
};
void WriteFits(const std::string& path, const std::vector<HduSpec>& hdus);
// A BITPIX -32 primary image.
void WriteFitsImage(const std::string& path, const Image& image);

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// The engine run directly, as the tool should run it.
struct EngineResult {
  std::vector<float> model;
  std::vector<float> profile;         // entries 0 .. R + 1
  std::vector<std::int32_t> members;  // entry r for ring r, 1 .. R
};
EngineResult RunEngine(const Image& source, std::int32_t cx, std::int32_t cy, std::int32_t radius,
                       std::int32_t peak);

std::uint32_t Bits(float value);
float FromBits(std::uint32_t bits);
// Equal bit for bit; with `nan_equal`, any two NaNs also match.
::testing::AssertionResult SameSamples(const std::vector<float>& actual,
                                       const std::vector<float>& expected, bool nan_equal = false);

// The real test images, or "" when that folder is absent.
std::string DataDir();
