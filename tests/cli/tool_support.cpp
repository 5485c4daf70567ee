#include "tool_support.h"

#include <fcntl.h>
#include <fitsio.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "coma_engine.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAndRemove(int fd, const char* name) {
  std::string text = ReadBytes(name);
  ::close(fd);
  ::unlink(name);
  return text;
}

void CheckFits(int status, const std::string& what) {
  if (status != 0) {
    char text[FLEN_STATUS];
    fits_get_errstatus(status, text);
    throw std::runtime_error(what + ": " + text);
  }
}

}  // namespace

RunResult RunTool(const std::vector<std::string>& args, const std::string& cwd) {
  RunControl control;
  if (!cwd.empty()) {
    control.in_child = [cwd] {
      if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    };
  }
  return RunToolWith(args, control);
}

RunResult RunToolWith(const std::vector<std::string>& args, const RunControl& control) {
  char out_name[] = "/tmp/comamodel-test-out-XXXXXX";
  char err_name[] = "/tmp/comamodel-test-err-XXXXXX";
  const int out_fd = ::mkstemp(out_name);
  const int err_fd = ::mkstemp(err_name);
  std::vector<std::string> storage = {COMAMODEL_EXE};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);

  RunResult result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (control.in_child) control.in_child();
    ::dup2(out_fd, 1);
    ::dup2(err_fd, 2);
    ::execv(COMAMODEL_EXE, argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (pid > 0) {
    bool reaped = false;
    const bool polled = control.kill_when || control.timeout_ms > 0;
    for (int waited_ms = 0; polled; ++waited_ms) {
      reaped = ::waitpid(pid, &status, WNOHANG) == pid;
      if (reaped) break;
      if (control.kill_when && control.kill_when(pid)) {
        ::kill(pid, control.kill_signal);
        result.killed = true;
        break;
      }
      if (control.timeout_ms > 0 && waited_ms >= control.timeout_ms) {
        ::kill(pid, SIGKILL);
        result.killed = true;
        break;
      }
      ::usleep(1000);
    }
    if (!reaped) reaped = ::waitpid(pid, &status, 0) == pid;
    if (reaped && WIFEXITED(status)) {
      result.exit_code = WEXITSTATUS(status);
    }
  }
  result.out = ReadAndRemove(out_fd, out_name);
  result.err = ReadAndRemove(err_fd, err_name);
  return result;
}

ScratchDir::ScratchDir() {
  std::string name = (fs::temp_directory_path() / "comamodel-test-XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = name;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::map<std::string, std::string> ScratchDir::Snapshot() const {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::directory_iterator(dir_)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_symlink()) {
      entries[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      entries[name] = "<folder>";
    } else if (entry.is_fifo()) {
      entries[name] = "<fifo>";
    } else if (entry.is_character_file() || entry.is_block_file()) {
      entries[name] = "<device>";
    } else if (entry.is_socket()) {
      entries[name] = "<socket>";
    } else {
      entries[name] = ReadBytes(entry.path().string());
    }
  }
  return entries;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

FitsPrimary DecodeFits(const std::string& path) {
  const std::string bytes = ReadBytes(path);
  FitsPrimary fits;
  std::size_t at = 0;
  for (;; at += 80) {
    if (at + 80 > bytes.size()) throw std::runtime_error(path + ": no END card");
    const std::string card = bytes.substr(at, 80);
    if (card.compare(0, 3, "END") == 0 && card.find_first_not_of(' ', 3) == std::string::npos) {
      break;
    }
    if (card.size() < 10 || card.compare(8, 2, "= ") != 0) continue;
    std::string key = card.substr(0, 8);
    key.erase(key.find_last_not_of(' ') + 1);
    std::string value = card.substr(10);
    if (!value.empty() && value.find_first_not_of(' ') != std::string::npos &&
        value[value.find_first_not_of(' ')] == '\'') {
      const std::size_t open = value.find('\'');
      const std::size_t close = value.find('\'', open + 1);
      value = value.substr(open + 1, close - open - 1);
      value.erase(value.find_last_not_of(' ') + 1);
    } else {
      value = value.substr(0, value.find('/'));
      value.erase(0, value.find_first_not_of(' '));
      value.erase(value.find_last_not_of(' ') + 1);
    }
    fits.keys[key] = value;
  }
  const std::size_t data = (at + 80 + 2879) / 2880 * 2880;
  fits.bitpix = std::stoi(fits.keys.at("BITPIX"));
  if (fits.keys.at("NAXIS") != "2") throw std::runtime_error(path + ": not 2-D");
  fits.image.width = std::stoi(fits.keys.at("NAXIS1"));
  fits.image.height = std::stoi(fits.keys.at("NAXIS2"));
  const std::size_t count =
      static_cast<std::size_t>(fits.image.width) * static_cast<std::size_t>(fits.image.height);
  const std::size_t width = fits.bitpix == 16 ? 2 : 4;
  if (fits.bitpix != 16 && fits.bitpix != -32) throw std::runtime_error(path + ": BITPIX");
  if (bytes.size() < data + count * width) throw std::runtime_error(path + ": data truncated");
  fits.image.samples.resize(count);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + data);
  for (std::size_t i = 0; i < count; ++i, p += width) {
    if (fits.bitpix == 16) {
      const auto stored = static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] << 8 | p[1]));
      fits.image.samples[i] = static_cast<float>(stored);
    } else {
      fits.image.samples[i] = FromBits(std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                                       std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]});
    }
  }
  return fits;
}

Image DecodeRaw(const std::string& path) {
  const std::string bytes = ReadBytes(path);
  if (bytes.size() < 16 || bytes.compare(0, 8, "COMAF32\n") != 0) {
    throw std::runtime_error(path + ": not a raw image");
  }
  Image image;
  std::memcpy(&image.width, bytes.data() + 8, 4);
  std::memcpy(&image.height, bytes.data() + 12, 4);
  const std::size_t count =
      static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
  if (bytes.size() != 16 + count * 4) throw std::runtime_error(path + ": wrong size");
  image.samples.resize(count);
  std::memcpy(image.samples.data(), bytes.data() + 16, count * 4);
  return image;
}

void WriteFits(const std::string& path, const std::vector<HduSpec>& hdus) {
  fitsfile* file = nullptr;
  int status = 0;
  fits_create_diskfile(&file, path.c_str(), &status);
  CheckFits(status, "create " + path);
  for (const HduSpec& hdu : hdus) {
    if (hdu.table) {
      char name[] = "VALUE";
      char form[] = "1E";
      char* names[] = {name};
      char* forms[] = {form};
      fits_create_tbl(file, BINARY_TBL, 0, 1, names, forms, nullptr, "DATA", &status);
      continue;
    }
    std::vector<long> axes = hdu.axes;
    fits_create_img(file, hdu.bitpix, static_cast<int>(axes.size()), axes.data(), &status);
    if (hdu.bscale) {
      double v = *hdu.bscale;
      fits_write_key(file, TDOUBLE, "BSCALE", &v, nullptr, &status);
    }
    if (hdu.bzero) {
      double v = *hdu.bzero;
      fits_write_key(file, TDOUBLE, "BZERO", &v, nullptr, &status);
    }
    if (hdu.blank) {
      long long v = *hdu.blank;
      fits_write_key(file, TLONGLONG, "BLANK", &v, nullptr, &status);
    }
    if (hdu.stored.empty()) continue;
    // The values given are the stored ones: no scaling on the way out.
    fits_set_bscale(file, 1.0, 0.0, &status);
    if (hdu.bitpix == FLOAT_IMG) {
      std::vector<float> floats(hdu.stored.begin(), hdu.stored.end());
      fits_write_img(file, TFLOAT, 1, static_cast<LONGLONG>(floats.size()), floats.data(), &status);
    } else {
      std::vector<double> values = hdu.stored;
      fits_write_img(file, TDOUBLE, 1, static_cast<LONGLONG>(values.size()), values.data(),
                     &status);
    }
  }
  fits_close_file(file, &status);
  CheckFits(status, "write " + path);
}

void WriteFitsImage(const std::string& path, const Image& image) {
  HduSpec hdu;
  hdu.bitpix = FLOAT_IMG;
  hdu.axes = {image.width, image.height};
  hdu.stored.assign(image.samples.begin(), image.samples.end());
  WriteFits(path, {hdu});
}

EngineResult RunEngine(const Image& source, std::int32_t cx, std::int32_t cy, std::int32_t radius,
                       std::int32_t peak) {
  EngineResult result;
  result.model.assign(source.samples.size(), 0.0f);
  ImageWidth = source.width;
  ImageHeight = source.height;
  SourceCopy = source.samples.data();
  ModelPixels = result.model.data();
  PeakValue = static_cast<float>(peak);
  EXPECT_TRUE(RenderComaModel(cx, cy, radius));
  if (radius >= 1) {
    result.profile.assign(RadialProfile.begin(), RadialProfile.begin() + radius + 2);
    result.members.assign(static_cast<std::size_t>(radius) + 1, 0);
    for (std::int32_t r = 1; r <= radius; ++r) {
      result.members[static_cast<std::size_t>(r)] = RingMemberCount(cx, cy, r);
    }
  }
  SourceCopy = nullptr;
  ModelPixels = nullptr;
  return result;
}

std::uint32_t Bits(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

float FromBits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

::testing::AssertionResult SameSamples(const std::vector<float>& actual,
                                       const std::vector<float>& expected, bool nan_equal) {
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "size " << actual.size() << ", expected " << expected.size();
  }
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (nan_equal && std::isnan(actual[i]) && std::isnan(expected[i])) continue;
    if (Bits(actual[i]) != Bits(expected[i])) {
      return ::testing::AssertionFailure()
             << "sample " << i << " is " << actual[i] << " (0x" << std::hex << Bits(actual[i])
             << "), expected " << expected[i] << " (0x" << Bits(expected[i]) << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

std::string DataDir() {
  const std::string dir = COMA_DATA_DIR;
  return fs::is_directory(dir) ? dir : "";
}
