#include "preview_png.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "tool_error.h"

namespace {

constexpr std::int32_t kMaxPanelSide = 1024;
constexpr std::int32_t kGap = 4;  // columns between panels
constexpr unsigned char kGapGrey = 96;

struct Panel {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<float> samples;
};

// Block means of the finite samples; NaN where a block holds none.
Panel Reduce(std::int32_t width, std::int32_t height, const std::vector<float>& samples,
             std::int32_t factor) {
  Panel panel;
  panel.width = (width + factor - 1) / factor;
  panel.height = (height + factor - 1) / factor;
  panel.samples.resize(static_cast<std::size_t>(panel.width) *
                       static_cast<std::size_t>(panel.height));
  for (std::int32_t py = 0; py < panel.height; ++py) {
    for (std::int32_t px = 0; px < panel.width; ++px) {
      double sum = 0;
      std::int64_t n = 0;
      for (std::int32_t y = py * factor; y < std::min(height, (py + 1) * factor); ++y) {
        for (std::int32_t x = px * factor; x < std::min(width, (px + 1) * factor); ++x) {
          const float v = samples[static_cast<std::size_t>(x) +
                                  static_cast<std::size_t>(y) * static_cast<std::size_t>(width)];
          if (std::isfinite(v)) {
            sum += v;
            ++n;
          }
        }
      }
      panel.samples[static_cast<std::size_t>(px) +
                    static_cast<std::size_t>(py) * static_cast<std::size_t>(panel.width)] =
          n > 0 ? static_cast<float>(sum / static_cast<double>(n))
                : std::numeric_limits<float>::quiet_NaN();
    }
  }
  return panel;
}

// Maps [black, white] through asinh, which lifts the faint outer coma while
// keeping the bright centre from saturating at once.
struct Stretch {
  double black = 0;
  double white = 1;
  static constexpr double kSoftening = 10;

  unsigned char operator()(float v) const {
    if (std::isnan(v)) return 0;
    double u = (static_cast<double>(v) - black) / (white - black);
    u = std::clamp(u, 0.0, 1.0);
    const double y = std::asinh(kSoftening * u) / std::asinh(kSoftening);
    return static_cast<unsigned char>(std::lround(y * 255));
  }
};

// Black at the 1st and white at the 99.8th percentile of the finite samples,
// so that a few hot pixels or blank areas do not set the scale.
Stretch RobustStretch(const std::vector<float>& samples) {
  std::vector<float> finite;
  finite.reserve(samples.size());
  for (float v : samples) {
    if (std::isfinite(v)) finite.push_back(v);
  }
  Stretch stretch;
  if (finite.empty()) return stretch;
  auto percentile = [&finite](double p) {
    const auto k = static_cast<std::size_t>(p * static_cast<double>(finite.size() - 1));
    std::nth_element(finite.begin(), finite.begin() + static_cast<std::ptrdiff_t>(k), finite.end());
    return static_cast<double>(finite[k]);
  };
  stretch.black = percentile(0.01);
  stretch.white = percentile(0.998);
  if (!(stretch.white > stretch.black)) stretch.white = stretch.black + 1;
  return stretch;
}

void AppendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  // No C++ exception may unwind through libpng's C frames.
  try {
    out->insert(out->end(), data, data + length);
  } catch (...) {
    png_error(png, "out of memory");
  }
}

void NoFlush(png_structp) {}

// Panels side by side, panel p drawn with the stretch of panel stretch_of[p].
std::vector<unsigned char> PanelsPng(std::int32_t width, std::int32_t height,
                                     const std::vector<const std::vector<float>*>& images,
                                     const std::vector<std::size_t>& stretch_of) {
  const std::int32_t side = std::max(width, height);
  const std::int32_t factor = (side + kMaxPanelSide - 1) / kMaxPanelSide;
  std::vector<Panel> panels;
  for (const std::vector<float>* image : images) {
    panels.push_back(Reduce(width, height, *image, factor));
  }
  std::vector<Stretch> stretches;
  for (const std::size_t p : stretch_of) stretches.push_back(RobustStretch(panels[p].samples));

  const auto count = static_cast<std::int32_t>(panels.size());
  const std::int32_t pw = panels[0].width;
  const std::int32_t ph = panels[0].height;
  const auto row_bytes = static_cast<std::size_t>(count * pw + (count - 1) * kGap);
  std::vector<unsigned char> pixels(row_bytes * static_cast<std::size_t>(ph), kGapGrey);
  for (std::int32_t y = 0; y < ph; ++y) {
    for (std::int32_t p = 0; p < count; ++p) {
      const auto panel = static_cast<std::size_t>(p);
      unsigned char* row = pixels.data() + static_cast<std::size_t>(y) * row_bytes +
                           static_cast<std::size_t>(p * (pw + kGap));
      for (std::int32_t x = 0; x < pw; ++x) {
        row[x] = stretches[panel](
            panels[panel].samples[static_cast<std::size_t>(x) +
                                  static_cast<std::size_t>(y) * static_cast<std::size_t>(pw)]);
      }
    }
  }
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    throw DataError("cannot encode the preview PNG");
  }
  // libpng reports errors by longjmp; nothing with a destructor is created
  // between here and the end of the encoding.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw DataError("cannot encode the preview PNG");
  }
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(row_bytes), static_cast<png_uint_32>(ph), 8,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (std::int32_t y = 0; y < ph; ++y) {
    png_write_row(png, pixels.data() + static_cast<std::size_t>(y) * row_bytes);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace

std::vector<unsigned char> EncodePreviewPng(std::int32_t width, std::int32_t height,
                                            const std::vector<float>& source,
                                            const std::vector<float>& model,
                                            const std::vector<float>& residual) {
  return PanelsPng(width, height, {&source, &model, &residual}, {0, 0, 2});
}

std::vector<unsigned char> EncodeImagePng(std::int32_t width, std::int32_t height,
                                          const std::vector<float>& samples) {
  return PanelsPng(width, height, {&samples}, {0});
}
