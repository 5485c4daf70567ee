// A host stand-in for the native tests: answers the seven host operations
// from images held in memory, records every call, and can be scripted (no
// current image, nothing stored, operation 0 failing, code run inside a call).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "plugin/host_api.h"

struct HostCall {
  std::int32_t code;
  HostOperand a, b, c;
};

struct FakeImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<float> samples;
};

class FakeHost {
 public:
  FakeHost();
  ~FakeHost();

  // The callback handed to pi_initialize; serves the current FakeHost.
  static std::int32_t COMA_STDCALL Callback(std::int32_t code, HostOperand a, HostOperand b,
                                            HostOperand c);

  // Opens an image and makes it current; returns its handle.
  std::int32_t Open(FakeImage image);
  std::vector<std::int32_t> Codes() const;

  std::vector<HostCall> calls;
  std::int32_t current = 0;
  std::map<std::int32_t, FakeImage> images;
  std::optional<std::pair<std::int32_t, std::int32_t>> selected;  // none: op 11 stores nothing
  // What op 1 stores instead of the image's own size; none: the real size.
  std::optional<std::pair<std::int32_t, std::int32_t>> stored_size;
  bool store_size = true;
  std::map<std::int32_t, std::int32_t> pixels_result;  // op 0 result by handle (default 2)
  std::optional<std::int32_t> finished;                // op 2's image
  std::function<void(const HostCall&)> during_call;
  std::int32_t next_handle = 100;
};

// Shared set-up: a fresh headless window system with the dialog's resource,
// a host executable named HOSTAPP.EXE, a host main window and a plug-in
// window owned by it, and a FakeHost.
class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // pi_initialize with the fake host and the plug-in window.
  void Initialize();

  FakeHost host;
  std::intptr_t main_window = 0;
  std::intptr_t plugin_window = 0;
};
