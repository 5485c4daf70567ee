// Times each coma enhancement on a 4096 x 4096 synthetic comet, in one run and
// side by side with fitscopy copying the same file: the whole comamodel run
// (read, enhance, write) and the method alone in this process. Also the batch
// tool's own read-and-write floor (comamodel convert), and rvsf at kernel
// sizes 3 and 101. Each figure is the best of a few runs; the machine is
// shared, so the best is the least disturbed.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "enhance/azimuthal_model.h"
#include "enhance/larson_sekanina.h"
#include "enhance/radially_variable_filter.h"
#include "enhance/rho_normalisation.h"
#include "fits_image.h"

namespace {

constexpr int kRuns = 3;

// The scratch folder, removed on every way out.
std::string ScratchFolder;

double BestSeconds(const std::function<void()>& run, const std::function<void()>& prepare) {
  double best = 1e30;
  for (int i = 0; i < kRuns; ++i) {
    prepare();
    const auto start = std::chrono::steady_clock::now();
    run();
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

void Shell(const std::string& command) {
  const int status = std::system((command + " >/dev/null").c_str());
  if (status != 0) {
    std::fprintf(stderr, "enhance_bench: '%s' failed\n", command.c_str());
    std::filesystem::remove_all(ScratchFolder);
    std::exit(1);
  }
}

struct Method {
  const char* label;
  std::string options;  // for comamodel enhance
  std::function<bool(FrameView, float*)> run;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string tool = argc > 1 ? argv[1] : COMAMODEL_EXE;
  char scratch_template[] = "/tmp/enhance-bench-XXXXXX";
  if (::mkdtemp(scratch_template) == nullptr) return 1;
  const std::string dir = scratch_template;
  ScratchFolder = dir;
  const std::string input = dir + "/comet.fits";
  const std::string output = dir + "/out.fits";
  Shell(tool + " sample " + input + " --size 4096x4096");
  const RawImage image = ReadInputImage(input, std::nullopt).image;
  const FrameView frame{image.samples.data(), image.width, image.height};
  // The sample comet's centre with a sub-pixel offset.
  const ComaCentre centre{1792.4, 2304.2};
  const std::string at = " --center 1792.4,2304.2 ";
  auto remove_output = [&] { std::filesystem::remove(output); };

  const double copy =
      BestSeconds([&] { Shell("fitscopy " + input + " " + output); }, remove_output);
  const double floor =
      BestSeconds([&] { Shell(tool + " convert " + input + " " + output); }, remove_output);

  const std::vector<Method> methods = {
      {"rho", "--method rho",
       [&](FrameView f, float* out) { return RhoNormalise(f, centre, 1.0, out); }},
      {"larson-sekanina 10 deg", "--method larson-sekanina --dtheta 10",
       [&](FrameView f, float* out) { return LarsonSekanina(f, centre, 10.0, 0.0, out); }},
      {"larson-sekanina 10 deg, drho 2", "--method larson-sekanina --dtheta 10 --drho 2",
       [&](FrameView f, float* out) { return LarsonSekanina(f, centre, 10.0, 2.0, out); }},
      {"rvsf size 3", "--method rvsf --rvsf 3,0,0",
       [&](FrameView f, float* out) {
         return RadiallyVariableFilter(f, centre, {3, 0, 0}, out);
       }},
      {"rvsf size 101", "--method rvsf --rvsf 101,0,0",
       [&](FrameView f, float* out) {
         return RadiallyVariableFilter(f, centre, {101, 0, 0}, out);
       }},
      {"rvsf size 1 + 0.05 rho", "--method rvsf --rvsf 1,0.05,1",
       [&](FrameView f, float* out) {
         return RadiallyVariableFilter(f, centre, {1, 0.05, 1}, out);
       }},
      {"azimuthal median R 2000", "--method azimuthal --radius 2000",
       [&](FrameView f, float* out) {
         return AzimuthalEnhance(
             f, {1792, 2304, 2000, RingStatistic::kMedian, 3, AzimuthalOutput::kRatio}, out);
       }},
      {"azimuthal mean R 2000", "--method azimuthal --radius 2000 --statistic mean",
       [&](FrameView f, float* out) {
         return AzimuthalEnhance(
             f, {1792, 2304, 2000, RingStatistic::kMean, 3, AzimuthalOutput::kRatio}, out);
       }},
      {"azimuthal sigma-clip R 2000", "--method azimuthal --radius 2000 --statistic sigma-clip",
       [&](FrameView f, float* out) {
         return AzimuthalEnhance(
             f, {1792, 2304, 2000, RingStatistic::kSigmaClippedMean, 3, AzimuthalOutput::kRatio},
             out);
       }},
  };

  std::printf("4096 x 4096 float frame; best of %d runs\n", kRuns);
  std::printf("fitscopy of the same file          %7.3f s\n", copy);
  std::printf("comamodel convert (read and write) %7.3f s  %5.2f x fitscopy\n\n", floor,
              floor / copy);
  std::printf("%-32s %9s %8s %9s %8s\n", "method", "whole run", "/copy", "method", "/copy");
  std::vector<float> out(frame.Count());
  double rvsf3 = 0, rvsf101 = 0;
  for (const Method& m : methods) {
    const double whole =
        BestSeconds([&] { Shell(tool + " enhance " + input + at + m.options + " -o " + output); },
                    remove_output);
    bool ok = true;
    const double alone = BestSeconds([&] { ok = m.run(frame, out.data()) && ok; }, [] {});
    if (!ok) {
      std::fprintf(stderr, "enhance_bench: %s refused its parameters\n", m.label);
      return 1;
    }
    std::printf("%-32s %8.3fs %7.2fx %8.3fs %7.2fx\n", m.label, whole, whole / copy, alone,
                alone / copy);
    if (std::string(m.label) == "rvsf size 3") rvsf3 = alone;
    if (std::string(m.label) == "rvsf size 101") rvsf101 = alone;
  }
  std::printf("\nrvsf size 101 / size 3, method alone: %.2f\n", rvsf101 / rvsf3);
  std::filesystem::remove_all(dir);
  return 0;
}
