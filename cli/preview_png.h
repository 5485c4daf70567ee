// A quick-look PNG for judging a model: frame | model | residual | ratio side
// by side, each panel labelled, north up as DS9 shows a frame (row 0 at the
// bottom). The frame and the model share one grey asinh stretch; the
// residual is stretched symmetrically about 0 and the ratio about 1 on a
// blue-white-red map; NaN and the area outside the model are neutral grey.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/raw_image.h"

// The part of the frame the panels show.
struct PreviewRegion {
  std::int32_t x = 0;  // first column and row, 0-based
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// The disc of radius R around the centre plus a margin, clipped to the
// frame; the whole frame when `full`, and when that square misses it.
PreviewRegion PreviewCrop(std::int32_t width, std::int32_t height, std::int32_t cx, std::int32_t cy,
                          std::int32_t radius, bool full);

// Where the panels lie in the PNG. A region over kMaxPreviewPanel samples
// on a side is reduced by an integer factor (means of each block's finite
// samples); a small one is enlarged by an integer scale.
struct PreviewLayout {
  std::int32_t factor = 1;       // region samples per panel pixel, each way
  std::int32_t scale = 1;        // PNG pixels per panel pixel, each way
  std::int32_t panel_width = 0;  // in PNG pixels
  std::int32_t panel_height = 0;
  std::int32_t top = 0;    // first PNG row of the panels, below their labels
  std::int32_t width = 0;  // of the PNG
  std::int32_t height = 0;
  std::int32_t Left(int panel) const;  // first PNG column of panel 0 .. 3
};
inline constexpr std::int32_t kMaxPreviewPanel = 512;
PreviewLayout LayOutPreview(const PreviewRegion& region);

// One labelled panel of the whole `image` in the frame's grey stretch, north
// up, for results that have no model beside them. Throws ToolError.
std::vector<unsigned char> EncodeImagePng(const RawImage& image, const std::string& label);

// The PNG file's bytes for `source` and its `model` (same size) over
// `region`. Throws ToolError.
std::vector<unsigned char> EncodePreviewPng(const RawImage& source, const std::vector<float>& model,
                                            const PreviewRegion& region);
