#include "preview_png.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "cairo_png.h"
#include "tool_error.h"

namespace {

constexpr std::int32_t kMinPanelSide = 256;  // small regions are enlarged to this
constexpr std::int32_t kGap = 8;
constexpr std::int32_t kLabelHeight = 28;
constexpr std::uint32_t kNeutral = 0x808080;  // NaN, and outside the model
constexpr std::uint32_t kCanvas = 0x282828;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Panel {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<float> samples;  // row 0 is the region's first row
};

// Block means of the finite values value(i) (i indexing the frame's samples)
// over the region; NaN where a block holds none.
template <class Value>
Panel Reduce(const Value& value, std::int32_t frame_width, const PreviewRegion& region,
             std::int32_t factor) {
  Panel panel;
  panel.width = (region.width + factor - 1) / factor;
  panel.height = (region.height + factor - 1) / factor;
  panel.samples.resize(static_cast<std::size_t>(panel.width) *
                       static_cast<std::size_t>(panel.height));
  for (std::int32_t py = 0; py < panel.height; ++py) {
    for (std::int32_t px = 0; px < panel.width; ++px) {
      double sum = 0;
      std::int64_t n = 0;
      for (std::int32_t y = py * factor; y < std::min(region.height, (py + 1) * factor); ++y) {
        for (std::int32_t x = px * factor; x < std::min(region.width, (px + 1) * factor); ++x) {
          const float v =
              value(static_cast<std::size_t>(region.x + x) +
                    static_cast<std::size_t>(region.y + y) * static_cast<std::size_t>(frame_width));
          if (std::isfinite(v)) {
            sum += v;
            ++n;
          }
        }
      }
      panel.samples[static_cast<std::size_t>(px) +
                    static_cast<std::size_t>(py) * static_cast<std::size_t>(panel.width)] =
          n > 0 ? static_cast<float>(sum / static_cast<double>(n)) : kNaN;
    }
  }
  return panel;
}

// The p-quantile of the finite values (p in [0, 1]); `fallback` when none.
double Quantile(std::vector<float> values, double p, double fallback) {
  std::erase_if(values, [](float v) { return !std::isfinite(v); });
  if (values.empty()) return fallback;
  const auto k = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

std::uint32_t Rgb(double r, double g, double b) {
  const auto c = [](double v) {
    return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 255.0)));
  };
  return c(r) << 16 | c(g) << 8 | c(b);
}

// Grey through asinh between black and white points, which lifts the faint
// outer coma while keeping the bright centre from saturating at once.
struct GreyMap {
  double black = 0;
  double white = 1;
  std::uint32_t operator()(float v) const {
    if (!std::isfinite(v)) return kNeutral;
    constexpr double kSoftening = 10;
    const double u = std::clamp((static_cast<double>(v) - black) / (white - black), 0.0, 1.0);
    const double grey = 255 * std::asinh(kSoftening * u) / std::asinh(kSoftening);
    return Rgb(grey, grey, grey);
  }
};

// Blue (below `centre`) through white to red (above), symmetric: +-`half`
// reach the ends. The asinh softening keeps faint structure visible beside
// the bright jets near the nucleus.
struct DivergingMap {
  double centre = 0;
  double half = 1;
  std::uint32_t operator()(float v) const {
    if (!std::isfinite(v)) return kNeutral;
    constexpr double kSoftening = 4;
    const double t = std::clamp((static_cast<double>(v) - centre) / half, -1.0, 1.0);
    const double u = std::asinh(kSoftening * t) / std::asinh(kSoftening);
    static constexpr std::array<std::array<double, 3>, 5> kStops = {
        {{33, 102, 172}, {146, 197, 222}, {247, 247, 247}, {244, 165, 130}, {178, 24, 43}}};
    const double at = (u + 1) * 2;  // 0 .. 4 over the stops
    const auto i = static_cast<std::size_t>(std::min(3.0, std::floor(at)));
    const double f = at - static_cast<double>(i);
    const auto mix = [&](std::size_t c) { return kStops[i][c] * (1 - f) + kStops[i + 1][c] * f; };
    return Rgb(mix(0), mix(1), mix(2));
  }
};

// Half-width of a symmetric stretch: a high quantile of |v - centre|.
double SymmetricHalf(const std::vector<float>& values, double centre) {
  std::vector<float> spread;
  spread.reserve(values.size());
  for (float v : values) {
    if (std::isfinite(v)) spread.push_back(static_cast<float>(std::abs(v - centre)));
  }
  const double half = Quantile(std::move(spread), 0.995, 1);
  return half > 0 ? half : 1;
}

template <class Map>
CairoSurface PaintPanel(const Panel& panel, const Map& map) {
  CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, panel.width, panel.height));
  if (cairo_surface_status(surface.Get()) != CAIRO_STATUS_SUCCESS) {
    throw DataError("cannot draw the preview");
  }
  unsigned char* data = cairo_image_surface_get_data(surface.Get());
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(surface.Get()));
  for (std::int32_t y = 0; y < panel.height; ++y) {
    // North up: the region's first row is the panel's bottom row.
    auto* row = reinterpret_cast<std::uint32_t*>(
        data + stride * static_cast<std::size_t>(panel.height - 1 - y));
    for (std::int32_t x = 0; x < panel.width; ++x) {
      row[x] =
          map(panel.samples[static_cast<std::size_t>(x) +
                            static_cast<std::size_t>(y) * static_cast<std::size_t>(panel.width)]);
    }
  }
  cairo_surface_mark_dirty(surface.Get());
  return surface;
}

}  // namespace

PreviewRegion PreviewCrop(std::int32_t width, std::int32_t height, std::int32_t cx, std::int32_t cy,
                          std::int32_t radius, bool full) {
  const PreviewRegion whole{0, 0, width, height};
  if (full) return whole;
  const std::int64_t reach = std::int64_t{std::max(radius, 0)} + std::max(16, radius / 4);
  const std::int64_t x0 = std::max<std::int64_t>(0, cx - reach);
  const std::int64_t y0 = std::max<std::int64_t>(0, cy - reach);
  const std::int64_t x1 = std::min<std::int64_t>(width - 1, cx + reach);
  const std::int64_t y1 = std::min<std::int64_t>(height - 1, cy + reach);
  if (x1 < x0 || y1 < y0) return whole;
  return {static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0),
          static_cast<std::int32_t>(x1 - x0 + 1), static_cast<std::int32_t>(y1 - y0 + 1)};
}

std::int32_t PreviewLayout::Left(int panel) const { return kGap + panel * (panel_width + kGap); }

PreviewLayout LayOutPreview(const PreviewRegion& region) {
  PreviewLayout layout;
  const std::int32_t side = std::max(region.width, region.height);
  layout.factor = (side + kMaxPreviewPanel - 1) / kMaxPreviewPanel;
  const std::int32_t reduced = (side + layout.factor - 1) / layout.factor;
  layout.scale = std::max(1, kMinPanelSide / reduced);
  layout.panel_width = (region.width + layout.factor - 1) / layout.factor * layout.scale;
  layout.panel_height = (region.height + layout.factor - 1) / layout.factor * layout.scale;
  layout.top = kLabelHeight;
  layout.width = 4 * layout.panel_width + 5 * kGap;
  layout.height = kLabelHeight + layout.panel_height + kGap;
  return layout;
}

namespace {

// The canvas with `count` painted panels side by side, each under its label.
std::vector<unsigned char> DrawPanels(const PreviewLayout& layout, const CairoSurface* painted,
                                      const std::string* labels, int count) {
  const CairoSurface canvas(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, layout.width, layout.height));
  const CairoContext context(cairo_create(canvas.Get()));
  cairo_t* cr = context.Get();
  const auto channel = [](std::uint32_t rgb, int shift) { return ((rgb >> shift) & 0xFF) / 255.0; };
  cairo_set_source_rgb(cr, channel(kCanvas, 16), channel(kCanvas, 8), channel(kCanvas, 0));
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 14);
  for (int p = 0; p < count; ++p) {
    cairo_save(cr);
    cairo_translate(cr, layout.Left(p), layout.top);
    cairo_scale(cr, layout.scale, layout.scale);
    cairo_set_source_surface(cr, painted[p].Get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_restore(cr);
    // Labels are clipped to their panel's width.
    cairo_save(cr);
    cairo_rectangle(cr, layout.Left(p), 0, layout.panel_width, layout.top);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
    cairo_move_to(cr, layout.Left(p) + 2, layout.top - 9);
    cairo_show_text(cr, labels[p].c_str());
    cairo_restore(cr);
  }
  return SurfacePngBytes(canvas.Get());
}

}  // namespace

std::vector<unsigned char> EncodePreviewPng(const RawImage& source, const std::vector<float>& model,
                                            const PreviewRegion& region) {
  const PreviewLayout layout = LayOutPreview(region);
  // Outside the model (where it is 0) the residual and ratio mean nothing.
  const auto frame = [&](std::size_t i) { return source.samples[i]; };
  const auto shown_model = [&](std::size_t i) { return model[i] != 0.0f ? model[i] : kNaN; };
  const auto residual = [&](std::size_t i) {
    return model[i] != 0.0f ? source.samples[i] - model[i] : kNaN;
  };
  const auto ratio = [&](std::size_t i) {
    return model[i] != 0.0f ? source.samples[i] / model[i] : kNaN;
  };
  const std::array<Panel, 4> panels = {Reduce(frame, source.width, region, layout.factor),
                                       Reduce(shown_model, source.width, region, layout.factor),
                                       Reduce(residual, source.width, region, layout.factor),
                                       Reduce(ratio, source.width, region, layout.factor)};
  GreyMap grey{Quantile(panels[0].samples, 0.01, 0), Quantile(panels[0].samples, 0.998, 1)};
  if (!(grey.white > grey.black)) grey.white = grey.black + 1;
  const DivergingMap residual_map{0, SymmetricHalf(panels[2].samples, 0)};
  const DivergingMap ratio_map{1, SymmetricHalf(panels[3].samples, 1)};
  const std::array<CairoSurface, 4> painted = {
      PaintPanel(panels[0], grey), PaintPanel(panels[1], grey), PaintPanel(panels[2], residual_map),
      PaintPanel(panels[3], ratio_map)};

  char range[2][64];
  std::snprintf(range[0], sizeof range[0], "  \xC2\xB1%.4g", residual_map.half);
  std::snprintf(range[1], sizeof range[1], "  1 \xC2\xB1 %.3g", ratio_map.half);
  const std::array<std::string, 4> labels = {
      "frame", "model", std::string("residual: frame \xE2\x88\x92 model") + range[0],
      std::string("ratio: frame \xC3\xB7 model") + range[1]};

  return DrawPanels(layout, painted.data(), labels.data(), 4);
}

std::vector<unsigned char> EncodeImagePng(const RawImage& image, const std::string& label) {
  const PreviewRegion whole{0, 0, image.width, image.height};
  PreviewLayout layout = LayOutPreview(whole);
  layout.width = layout.panel_width + 2 * kGap;
  const auto value = [&](std::size_t i) { return image.samples[i]; };
  const Panel panel = Reduce(value, image.width, whole, layout.factor);
  GreyMap grey{Quantile(panel.samples, 0.01, 0), Quantile(panel.samples, 0.998, 1)};
  if (!(grey.white > grey.black)) grey.white = grey.black + 1;
  const CairoSurface painted = PaintPanel(panel, grey);
  return DrawPanels(layout, &painted, &label, 1);
}
