// A host session around the plug-in under test: the host's windows, a
// message box capture and log, the plug-in DLL loaded fresh for each test,
// and the host state reset. Every test starts from a library just loaded.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/coma_dialog_windows.h"
#include "host/host_state.h"
#include "host/host_windows.h"
#include "host/message_boxes.h"
#include "host/plugin_library.h"

namespace wine_tests {

// The plug-in DLL of this build, as a Windows path.
std::string PluginPath();

// Counts the plug-in's heap blocks by patching its imports of the C runtime's
// allocation functions: what was allocated while the tracker lived and is
// still live.
class HeapTracker {
 public:
  explicit HeapTracker(HMODULE plugin);
  ~HeapTracker();
  bool Patched() const;
  // Blocks allocated since construction (or Clear) and not yet freed, with
  // their sizes.
  std::vector<std::size_t> LiveSizes() const;
  // Sizes of every allocation since construction (or Clear).
  const std::vector<std::size_t>& AllocatedSizes() const;
  void Clear();

 private:
  std::unique_ptr<host::ImportPatch> malloc_;
  std::unique_ptr<host::ImportPatch> calloc_;
  std::unique_ptr<host::ImportPatch> realloc_;
  std::unique_ptr<host::ImportPatch> free_;
};

class PluginSession : public ::testing::Test {
 public:
  struct Fields {
    std::string peak, x, y, radius;
    bool operator==(const Fields&) const = default;
  };

 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the host's windows; owned = false makes the window handed to the
  // plug-in one without an owner. SetUp creates owned windows.
  void RecreateWindows(bool owned);
  // pi_initialize with the image window (or `window`), checking its result.
  void Initialize(HWND window = nullptr);
  // pi_activate, then the messages it queued, then finds the dialog.
  void Activate();
  void Finalize();
  // Frees the library (finalising nothing); the tests' later checks run
  // with the plug-in gone.
  void Unload();

  // Opens an image of the given size with samples from a small formula and
  // selects a point in it; returns its handle.
  std::int32_t OpenImage(std::int32_t width, std::int32_t height, std::int32_t x = 0,
                         std::int32_t y = 0);

  Fields ReadFields() const;
  void WriteFields(const Fields& fields);
  void ClickCreate();
  void ClickGetPoint();

  host::HostWindows windows_;
  std::unique_ptr<host::MessageBoxCapture> capture_;
  host::PluginLibrary plugin_;
  std::unique_ptr<host::MessageBoxLog> box_log_;
  std::unique_ptr<HeapTracker> heap_;
  host::ComaDialogWindows dialog_;
  bool initialized_ = false;
  bool finalized_ = false;
};

std::ostream& operator<<(std::ostream& out, const PluginSession::Fields& fields);

// Text of a list of host operation codes, e.g. "16 1 8 0".
std::string Codes(const std::vector<std::int32_t>& codes);

}  // namespace wine_tests
