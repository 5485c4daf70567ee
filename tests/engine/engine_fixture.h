// Installs a small image into the engine's module state for one test and
// clears the state afterwards, so that no test sees another's buffers.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/coma_engine.h"

inline std::uint32_t Bits(float v) { return std::bit_cast<std::uint32_t>(v); }
inline float FromBits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

// A NaN with a payload that no interpolation produces: marks model pixels that
// the engine must leave alone.
inline const float kUntouched = FromBits(0x7FC0DEADu);

class EngineTest : public ::testing::Test {
 protected:
  // Rows of samples, top row first.
  void SetImage(std::int32_t width, std::int32_t height, std::vector<float> samples) {
    source_ = std::move(samples);
    source_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0.0f);
    model_.assign(source_.size(), kUntouched);
    ImageWidth = width;
    ImageHeight = height;
    SourceCopy = source_.data();
    ModelPixels = model_.data();
  }

  void FillModel(float value) { std::fill(model_.begin(), model_.end(), value); }

  float Model(std::int32_t x, std::int32_t y) const {
    return model_[static_cast<std::size_t>(x) +
                  static_cast<std::size_t>(y) * static_cast<std::size_t>(ImageWidth)];
  }
  float& Source(std::int32_t x, std::int32_t y) {
    return source_[static_cast<std::size_t>(x) +
                   static_cast<std::size_t>(y) * static_cast<std::size_t>(ImageWidth)];
  }

  void TearDown() override {
    ImageWidth = 0;
    ImageHeight = 0;
    SourceCopy = nullptr;
    ModelPixels = nullptr;
    PeakValue = 0.0f;
  }

  std::vector<float> source_;
  std::vector<float> model_;
};
