#include "sample_comet.h"

#include <array>
#include <cmath>

namespace {

// SplitMix64: small, fast and fully specified, unlike the standard library's
// distributions, whose results differ between implementations.
class Generator {
 public:
  explicit Generator(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1) with 53 random bits.
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  // Zero mean, unit variance: a sum of four uniforms (close to Gaussian).
  double Noise() {
    const double sum = Uniform() + Uniform() + Uniform() + Uniform();
    return (sum - 2.0) * 1.7320508075688772;  // sqrt(3)
  }

 private:
  std::uint64_t state_;
};

struct Star {
  double x, y, peak;
};

constexpr double kSky = 100.0;    // sky level at the top left corner
constexpr double kComa = 3000.0;  // coma brightness at distance 1
constexpr double kNoiseSigma = 4.0;
constexpr double kStarWidth2 = 2.5 * 2.5;  // Moffat alpha squared
constexpr int kStars = 7;

// Jet directions as unit vectors (dx, dy), and their strengths.
constexpr std::array<std::array<double, 3>, 2> kJets = {{{0.8, -0.6, 2.0}, {-0.28, 0.96, 1.2}}};

// cos^16 of the angle from a jet's axis, 0 behind it: a narrow fan.
double JetWeight(double cosine) {
  if (cosine <= 0) return 0;
  double w = cosine * cosine;  // ^2
  w *= w;                      // ^4
  w *= w;                      // ^8
  return w * w;                // ^16
}

}  // namespace

SampleComet MakeSampleComet(std::int32_t width, std::int32_t height, std::uint64_t seed) {
  SampleComet comet;
  comet.center_x = static_cast<std::int32_t>(std::int64_t{width} * 7 / 16);
  comet.center_y = static_cast<std::int32_t>(std::int64_t{height} * 9 / 16);
  comet.image.width = width;
  comet.image.height = height;
  comet.image.samples.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));

  Generator generator(seed);
  std::array<Star, kStars> stars{};
  for (Star& star : stars) {
    star.x = generator.Uniform() * width;
    star.y = generator.Uniform() * height;
    star.peak = 300.0 + 4000.0 * generator.Uniform();
  }

  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const double dx = x - comet.center_x;
      const double dy = y - comet.center_y;
      const double rho = std::sqrt(dx * dx + dy * dy);
      double value = kSky + 30.0 * x / width + 15.0 * y / height;
      if (rho > 0) {
        double jets = 1.0;
        for (const auto& jet : kJets) jets += jet[2] * JetWeight((dx * jet[0] + dy * jet[1]) / rho);
        value += kComa / rho * jets;
      } else {
        value += 2 * kComa;
      }
      for (const Star& star : stars) {
        const double sx = x - star.x;
        const double sy = y - star.y;
        const double q = 1.0 + (sx * sx + sy * sy) / kStarWidth2;
        value += star.peak / (q * q * q);
      }
      value += kNoiseSigma * generator.Noise();
      comet.image.samples[static_cast<std::size_t>(x) +
                          static_cast<std::size_t>(y) * static_cast<std::size_t>(width)] =
          static_cast<float>(value);
    }
  }
  return comet;
}
