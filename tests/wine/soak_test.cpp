// Many host sessions in one process: load, initialise, activate, "Create
// Model", finalise, dispatch, unload, again and again. Each cycle must leave
// the plug-in's heap balanced and none of its windows or its window class
// behind. The process's own growth (wine's) is printed, not judged.
#include <gtest/gtest.h>
#include <windows.h>

// After windows.h, which it needs.
#include <psapi.h>

#include <chrono>
#include <cstdio>

#include "plugin_session.h"

namespace wine_tests {
namespace {

constexpr int kCycles = 200;
constexpr DWORD kIdleMs = 5;
constexpr char kFormClass[] = "ComaModelForm";

// The process's committed private memory and its working set, in KB.
struct ProcessMemory {
  double private_kb = 0;
  double working_set_kb = 0;
};

ProcessMemory Measure() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(),
                         reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
  return {static_cast<double>(counters.PrivateUsage) / 1024.0,
          static_cast<double>(counters.WorkingSetSize) / 1024.0};
}

using Soak = PluginSession;

TEST_F(Soak, LoadUseAndUnloadManyTimesLeavesNothingBehind) {
  OpenImage(64, 48, 30, 20);
  std::size_t allocations = 0;
  ProcessMemory after_first;
  const auto start = std::chrono::steady_clock::now();
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    if (cycle > 0) {
      std::string error;
      ASSERT_TRUE(plugin_.Load(PluginPath(), &error)) << error;
      heap_ = std::make_unique<HeapTracker>(plugin_.Module());
    }
    ASSERT_TRUE(heap_->Patched());
    const HMODULE module = plugin_.Module();
    Initialize();
    plugin_.Activate()(0, 0);
    std::string error;
    ASSERT_TRUE(host::FindComaDialogWindows(host::FindComaDialog(), &dialog_, &error)) << error;
    WriteFields({"5", "30", "20", "25"});
    host::ClearCalls();
    host::ClickButton(dialog_.create);
    host::PumpUntilIdle(kIdleMs);
    ASSERT_EQ(Codes(host::CallCodes()), "16 1 8 0 14 0 2");

    plugin_.Finalize()(0);
    const HWND dialog = dialog_.dialog;
    ASSERT_TRUE(host::PumpUntil([dialog] { return !::IsWindow(dialog); }));
    ASSERT_FALSE(::IsWindow(dialog_.dialog));
    ASSERT_EQ(host::FindComaDialog(), nullptr);
    // Everything the plug-in allocated in this session is freed again.
    ASSERT_TRUE(heap_->LiveSizes().empty()) << heap_->LiveSizes().size() << " blocks live";
    allocations = heap_->AllocatedSizes().size();

    heap_.reset();
    plugin_.Unload();
    host::PumpUntilIdle(kIdleMs);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    ASSERT_FALSE(::GetClassInfoExA(module, kFormClass, &wc)) << "window class left registered";
    if (cycle == 0) after_first = Measure();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const ProcessMemory end = Measure();
  std::printf(
      "soak: %d cycles in %.1f s; %zu plug-in allocations per cycle, all freed; "
      "per cycle the process grew %.1f KB private, %.1f KB working set "
      "(wine's own, not asserted)\n",
      kCycles, seconds, allocations, (end.private_kb - after_first.private_kb) / (kCycles - 1),
      (end.working_set_kb - after_first.working_set_kb) / (kCycles - 1));
  initialized_ = false;
}

}  // namespace
}  // namespace wine_tests
