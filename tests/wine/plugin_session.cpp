#include "plugin_session.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <ostream>

namespace wine_tests {
namespace {

// Live blocks of the plug-in's allocations while a HeapTracker exists.
struct HeapState {
  HeapTracker* tracker = nullptr;
  std::map<void*, std::size_t> live;
  std::vector<std::size_t> sizes;
};
HeapState g_heap;

void Note(void* block, std::size_t size) {
  if (!block) return;
  g_heap.live[block] = size;
  g_heap.sizes.push_back(size);
}

void* __cdecl TrackedMalloc(std::size_t size) noexcept {
  void* block = std::malloc(size);
  Note(block, size);
  return block;
}
void* __cdecl TrackedCalloc(std::size_t count, std::size_t size) noexcept {
  void* block = std::calloc(count, size);
  Note(block, count * size);
  return block;
}
void* __cdecl TrackedRealloc(void* old, std::size_t size) noexcept {
  void* block = std::realloc(old, size);
  if (block || size == 0) g_heap.live.erase(old);
  Note(block, size);
  return block;
}
void __cdecl TrackedFree(void* block) noexcept {
  g_heap.live.erase(block);
  std::free(block);
}

}  // namespace

std::string PluginPath() {
  std::string path = "Z:" COMA_PLUGIN_PATH;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

HeapTracker::HeapTracker(HMODULE plugin) {
  g_heap = HeapState{this, {}, {}};
  const auto patch = [plugin](const char* name, void* replacement) {
    return std::make_unique<host::ImportPatch>(plugin, "msvcrt.dll", name, replacement);
  };
  malloc_ = patch("malloc", reinterpret_cast<void*>(&TrackedMalloc));
  calloc_ = patch("calloc", reinterpret_cast<void*>(&TrackedCalloc));
  realloc_ = patch("realloc", reinterpret_cast<void*>(&TrackedRealloc));
  free_ = patch("free", reinterpret_cast<void*>(&TrackedFree));
}

HeapTracker::~HeapTracker() { g_heap.tracker = nullptr; }

bool HeapTracker::Patched() const { return malloc_->Patched() && free_->Patched(); }

std::vector<std::size_t> HeapTracker::LiveSizes() const {
  std::vector<std::size_t> sizes;
  for (const auto& [block, size] : g_heap.live) sizes.push_back(size);
  return sizes;
}

const std::vector<std::size_t>& HeapTracker::AllocatedSizes() const { return g_heap.sizes; }

void HeapTracker::Clear() {
  g_heap.live.clear();
  g_heap.sizes.clear();
}

void PluginSession::SetUp() {
  host::ResetHost();
  RecreateWindows(true);
  capture_ = std::make_unique<host::MessageBoxCapture>();
  ASSERT_TRUE(capture_->Installed());
  std::string error;
  ASSERT_TRUE(plugin_.Load(PluginPath(), &error)) << error;
  box_log_ = std::make_unique<host::MessageBoxLog>(plugin_.Module());
  heap_ = std::make_unique<HeapTracker>(plugin_.Module());
}

void PluginSession::TearDown() {
  if (plugin_.Loaded()) {
    if (initialized_ && !finalized_) Finalize();
    host::PumpUntilIdle();
    Unload();
  }
  capture_.reset();
  windows_.Destroy();
  host::PumpUntilIdle();
}

void PluginSession::RecreateWindows(bool owned) {
  std::string error;
  windows_.Destroy();
  ASSERT_TRUE(windows_.Create(&error, owned)) << error;
  host::PumpUntilIdle();
}

void PluginSession::Initialize(HWND window) {
  std::array<char, 64> name{};
  std::array<char, 64> description{};
  const std::int32_t result =
      plugin_.Initialize()(host::HostService, name.data(), description.data(),
                           reinterpret_cast<HostOperand>(window ? window : windows_.ImageWindow()));
  ASSERT_EQ(result, 1);
  initialized_ = true;
}

void PluginSession::Activate() {
  plugin_.Activate()(0, 0);
  host::PumpUntilIdle();
  const HWND dialog = host::FindComaDialog();
  ASSERT_NE(dialog, nullptr) << "no \"Coma Model\" window after pi_activate";
  std::string error;
  ASSERT_TRUE(host::FindComaDialogWindows(dialog, &dialog_, &error)) << error;
}

void PluginSession::Finalize() {
  plugin_.Finalize()(0);
  finalized_ = true;
}

void PluginSession::Unload() {
  // The patches restore the plug-in's import table, so they go first.
  heap_.reset();
  box_log_.reset();
  plugin_.Unload();
}

std::int32_t PluginSession::OpenImage(std::int32_t width, std::int32_t height, std::int32_t x,
                                      std::int32_t y) {
  host::Image image;
  image.width = width;
  image.height = height;
  image.samples.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (std::int32_t j = 0; j < height; ++j) {
    for (std::int32_t i = 0; i < width; ++i) {
      // A bright centre with a slope and a little texture, so that rings
      // have distinct medians.
      const auto index = static_cast<std::size_t>(i + j * width);
      image.samples[index] =
          1000.0f / static_cast<float>(1 + (i - x) * (i - x) + (j - y) * (j - y)) +
          0.25f * static_cast<float>((i * 7 + j * 13) % 11) + 0.125f * static_cast<float>(i);
    }
  }
  const std::int32_t handle = host::AddImage(std::move(image));
  host::SelectPoint(x, y);
  return handle;
}

PluginSession::Fields PluginSession::ReadFields() const {
  return {host::WindowText(dialog_.edit_peak), host::WindowText(dialog_.edit_x),
          host::WindowText(dialog_.edit_y), host::WindowText(dialog_.edit_max_rad)};
}

void PluginSession::WriteFields(const Fields& fields) {
  host::SetFieldText(dialog_.edit_peak, fields.peak);
  host::SetFieldText(dialog_.edit_x, fields.x);
  host::SetFieldText(dialog_.edit_y, fields.y);
  host::SetFieldText(dialog_.edit_max_rad, fields.radius);
}

void PluginSession::ClickCreate() {
  host::ClickButton(dialog_.create);
  host::PumpUntilIdle();
}

void PluginSession::ClickGetPoint() {
  host::ClickButton(dialog_.get_point);
  host::PumpUntilIdle();
}

std::ostream& operator<<(std::ostream& out, const PluginSession::Fields& fields) {
  return out << "{peak \"" << fields.peak << "\", x \"" << fields.x << "\", y \"" << fields.y
             << "\", radius \"" << fields.radius << "\"}";
}

std::string Codes(const std::vector<std::int32_t>& codes) {
  std::string text;
  for (const std::int32_t code : codes) {
    if (!text.empty()) text += ' ';
    text += std::to_string(code);
  }
  return text;
}

}  // namespace wine_tests
