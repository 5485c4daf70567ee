// A quick-look PNG: source, model and residual side by side, 8-bit grey.
#pragma once

#include <cstdint>
#include <vector>

// Each panel is width x height samples (row-major). The source and the model
// share one asinh stretch between robust black and white points of the
// source, the residual has its own; NaN is shown black. Images wider or
// taller than 1024 are reduced by an integer factor (mean of each block's
// finite samples). Returns the PNG file's bytes; throws ToolError.
std::vector<unsigned char> EncodePreviewPng(std::int32_t width, std::int32_t height,
                                            const std::vector<float>& source,
                                            const std::vector<float>& model,
                                            const std::vector<float>& residual);

// One image alone, in the same way with its own stretch.
std::vector<unsigned char> EncodeImagePng(std::int32_t width, std::int32_t height,
                                          const std::vector<float>& samples);
