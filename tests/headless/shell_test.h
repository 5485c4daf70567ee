// Shared set-up of the headless tests: a fresh headless window system with
// the dialog's resource, a host executable named HOSTAPP.EXE, a host main
// window and a plug-in window owned by it, and the reference host's state
// (host/host_state.h) as the host. The entry points are called the way a host
// calls them: through the entry point pointer types, with the host's service
// callback.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "host/host_state.h"
#include "plugin/host_api.h"

// The plug-in's entry points as a host holds them.
struct EntryPoints {
  PiInitialize initialize;
  PiActivate activate;
  PiFinalize finalize;
};
const EntryPoints& Plugin();

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // pi_initialize with the host's callback and the plug-in window.
  void Initialize();

  std::intptr_t main_window = 0;
  std::intptr_t plugin_window = 0;
};
