// Times the engine against the plain square-scan algorithm on a synthetic
// 4096 x 4096 comet frame and checks that both give the same bits.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_frame.h"
#include "engine/coma_engine.h"
#include "literal_model.h"

namespace {

constexpr std::int32_t kSize = 4096;
constexpr std::int32_t kCentre = 2048;

}  // namespace

int main() {
  const std::vector<float> source = MakeComet(kSize, kCentre);
  std::vector<float> model(source.size(), 0.0f);
  std::vector<float> literalModel(source.size(), 0.0f);
  ImageWidth = kSize;
  ImageHeight = kSize;
  SourceCopy = source.data();
  ModelPixels = model.data();
  PeakValue = 0.0f;
  const literal::Image image{kSize, kSize, source.data()};

  std::printf("4096 x 4096 image, centre (%d, %d), single-threaded\n", kCentre, kCentre);
  std::printf("%6s %14s %12s %9s  %s\n", "R", "plain (s)", "engine (s)", "ratio", "same bits");
  bool allSame = true;
  for (const std::int32_t R : {50, 500, 2000}) {
    std::vector<float> literalProfile;
    const double plain = TimeOnce([&] {
      literal::Render(image, literalModel.data(), kCentre, kCentre, R, PeakValue, &literalProfile);
    });
    const double engine =
        TimeBest([&] { RenderComaModel(kCentre, kCentre, R); }, R == 2000 ? 5 : 9);
    const bool same =
        std::memcmp(model.data(), literalModel.data(), model.size() * sizeof(float)) == 0 &&
        std::memcmp(RadialProfile.data(), literalProfile.data(),
                    literalProfile.size() * sizeof(float)) == 0;
    allSame = allSame && same;
    std::printf("%6d %14.4f %12.5f %8.1fx  %s\n", R, plain, engine, plain / engine,
                same ? "yes" : "NO");
  }

  // The whole R = 2000 model and its two phases.
  const std::int32_t R = 2000;
  const double whole = TimeBest([&] { RenderComaModel(kCentre, kCentre, R); }, 5);
  const double rings = TimeBest(
      [&] {
        for (std::int32_t r = 1; r <= R; ++r)
          RadialProfile[static_cast<std::size_t>(r)] = RingMedian(kCentre, kCentre, r);
      },
      5);
  std::printf("whole R = 2000 model: %.4f s (ring medians %.4f s, disc %.4f s)\n", whole, rings,
              whole - rings);
  return allSame ? 0 : 1;
}
