#include "profile_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cairo_png.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 560;
constexpr double kLeft = 90, kRight = 30, kTop = 50, kBottom = 60;

bool Plotted(const ProfileRing& ring) { return ring.members > 0 && ring.median > 0; }

// Axis range in whole decades around [lo, hi].
struct LogAxis {
  double lo = 0, hi = 1;  // log10 of the ends
  LogAxis(double min, double max) {
    lo = std::floor(std::log10(min));
    hi = std::ceil(std::log10(max));
    if (hi <= lo) hi = lo + 1;
  }
  double Fraction(double v) const { return (std::log10(v) - lo) / (hi - lo); }
};

void Text(cairo_t* cr, double x, double y, const std::string& text, double align_x,
          double align_y) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  cairo_move_to(cr, x - extents.x_bearing - align_x * extents.width,
                y - extents.y_bearing - align_y * extents.height);
  cairo_show_text(cr, text.c_str());
}

std::string DecadeLabel(double exponent) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", std::pow(10.0, exponent));
  return text;
}

}  // namespace

std::int32_t ReferenceRadius(const std::vector<ProfileRing>& rings) {
  const auto n = static_cast<std::int64_t>(rings.size());
  std::int32_t best = 0;
  std::int64_t best_distance = 0;
  for (std::int64_t r = 1; r <= n; ++r) {
    if (!Plotted(rings[static_cast<std::size_t>(r - 1)])) continue;
    const std::int64_t distance = std::abs(2 * r - n);
    if (best == 0 || distance < best_distance) {
      best = static_cast<std::int32_t>(r);
      best_distance = distance;
    }
  }
  return best;
}

std::vector<unsigned char> EncodeProfilePlot(const std::vector<ProfileRing>& rings,
                                             const std::string& title) {
  const CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
  const CairoContext context(cairo_create(surface.Get()));
  cairo_t* cr = context.Get();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

  double min_value = 0, max_value = 0;
  bool any = false;
  for (const ProfileRing& ring : rings) {
    if (!Plotted(ring)) continue;
    const double v = ring.median;
    min_value = any ? std::min(min_value, v) : v;
    max_value = any ? std::max(max_value, v) : v;
    any = true;
  }
  const std::int32_t reference = ReferenceRadius(rings);
  const double reference_value =
      reference > 0 ? static_cast<double>(rings[static_cast<std::size_t>(reference - 1)].median)
                    : 0;
  const double radius = static_cast<double>(std::max<std::size_t>(rings.size(), 2));
  if (reference > 0) {
    // The 1/rho line's ends belong on the plot too.
    min_value = std::min(min_value, reference_value * reference / radius);
    max_value = std::max(max_value, reference_value * reference);
  }
  const LogAxis x_axis(1, radius);
  const LogAxis y_axis(any ? min_value : 1, any ? max_value : 10);

  const double plot_w = kWidth - kLeft - kRight;
  const double plot_h = kHeight - kTop - kBottom;
  const auto px = [&](double r) { return kLeft + x_axis.Fraction(r) * plot_w; };
  const auto py = [&](double v) { return kTop + (1 - y_axis.Fraction(v)) * plot_h; };

  // Grid and ticks: every decade labelled, 2..9 between them as minor lines.
  cairo_set_font_size(cr, 13);
  cairo_set_line_width(cr, 1);
  for (int pass = 0; pass < 2; ++pass) {
    const LogAxis& axis = pass == 0 ? x_axis : y_axis;
    for (double e = axis.lo; e <= axis.hi; ++e) {
      for (int m = 1; m <= 9 && (m == 1 || e < axis.hi); ++m) {
        const double v = m * std::pow(10.0, e);
        cairo_set_source_rgb(cr, m == 1 ? 0.8 : 0.92, m == 1 ? 0.8 : 0.92, m == 1 ? 0.8 : 0.92);
        if (pass == 0) {
          cairo_move_to(cr, px(v), kTop);
          cairo_line_to(cr, px(v), kTop + plot_h);
        } else {
          cairo_move_to(cr, kLeft, py(v));
          cairo_line_to(cr, kLeft + plot_w, py(v));
        }
        cairo_stroke(cr);
        if (m != 1) continue;
        cairo_set_source_rgb(cr, 0, 0, 0);
        if (pass == 0) {
          Text(cr, px(v), kTop + plot_h + 8, DecadeLabel(e), 0.5, 0);
        } else {
          Text(cr, kLeft - 8, py(v), DecadeLabel(e), 1, 0.5);
        }
      }
    }
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_rectangle(cr, kLeft, kTop, plot_w, plot_h);
  cairo_stroke(cr);

  // The profile, clipped to the plot area.
  cairo_save(cr);
  cairo_rectangle(cr, kLeft, kTop, plot_w, plot_h);
  cairo_clip(cr);
  if (reference > 0) {
    cairo_set_source_rgb(cr, 0.85, 0.35, 0.1);
    const double dashes[] = {6, 4};
    cairo_set_dash(cr, dashes, 2, 0);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, px(1), py(reference_value * reference));
    cairo_line_to(cr, px(radius), py(reference_value * reference / radius));
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
  }
  cairo_set_source_rgb(cr, 0.1, 0.3, 0.75);
  cairo_set_line_width(cr, 2);
  bool drawing = false;
  for (std::size_t i = 0; i < rings.size(); ++i) {
    if (!Plotted(rings[i])) {
      drawing = false;  // a gap where a ring cannot be shown
      continue;
    }
    const double x = px(static_cast<double>(i + 1));
    const double y = py(rings[i].median);
    if (drawing) {
      cairo_line_to(cr, x, y);
    } else {
      cairo_move_to(cr, x, y);
    }
    drawing = true;
  }
  cairo_stroke(cr);
  if (rings.size() <= 60) {
    for (std::size_t i = 0; i < rings.size(); ++i) {
      if (!Plotted(rings[i])) continue;
      cairo_arc(cr, px(static_cast<double>(i + 1)), py(rings[i].median), 3, 0, 2 * M_PI);
      cairo_fill(cr);
    }
  }
  cairo_restore(cr);

  // Labels, legend and title.
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_font_size(cr, 14);
  Text(cr, kLeft + plot_w / 2, kHeight - 22, "radius \xCF\x81 (pixels)", 0.5, 0);
  cairo_save(cr);
  cairo_translate(cr, 24, kTop + plot_h / 2);
  cairo_rotate(cr, -M_PI / 2);
  Text(cr, 0, 0, "ring median", 0.5, 0.5);
  cairo_restore(cr);
  cairo_set_font_size(cr, 16);
  Text(cr, kWidth / 2.0, 16, title, 0.5, 0);

  cairo_set_font_size(cr, 13);
  const double lx = kLeft + plot_w - 210, ly = kTop + 16;
  cairo_set_source_rgb(cr, 0.1, 0.3, 0.75);
  cairo_set_line_width(cr, 2);
  cairo_move_to(cr, lx, ly);
  cairo_line_to(cr, lx + 30, ly);
  cairo_stroke(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  Text(cr, lx + 38, ly, any ? "ring median" : "no ring with a positive median", 0, 0.5);
  if (reference > 0) {
    cairo_set_source_rgb(cr, 0.85, 0.35, 0.1);
    const double dashes[] = {6, 4};
    cairo_set_dash(cr, dashes, 2, 0);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, lx, ly + 20);
    cairo_line_to(cr, lx + 30, ly + 20);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_set_source_rgb(cr, 0, 0, 0);
    Text(cr, lx + 38, ly + 20, "1/\xCF\x81 through \xCF\x81 = " + std::to_string(reference), 0,
         0.5);
  }
  return SurfacePngBytes(surface.Get());
}
