#include "tests/headless/fake_host.h"

#include <fstream>
#include <sstream>

#include "dialog/frmCC3.h"
#include "platform/float_settings.h"
#include "platform/headless.h"
#include "plugin/comacode9.h"

namespace {

FakeHost* serving = nullptr;

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

FakeHost::FakeHost() { serving = this; }

FakeHost::~FakeHost() {
  if (serving == this) serving = nullptr;
}

std::int32_t FakeHost::Open(FakeImage image) {
  const std::int32_t handle = next_handle++;
  images[handle] = std::move(image);
  current = handle;
  return handle;
}

std::vector<std::int32_t> FakeHost::Codes() const {
  std::vector<std::int32_t> codes;
  for (const HostCall& c : calls) codes.push_back(c.code);
  return codes;
}

std::int32_t COMA_STDCALL FakeHost::Callback(std::int32_t code, HostOperand a, HostOperand b,
                                             HostOperand c) {
  FakeHost& h = *serving;
  const HostCall call{code, a, b, c};
  h.calls.push_back(call);
  if (h.during_call) h.during_call(call);
  const auto image = [&](HostOperand handle) -> FakeImage* {
    auto it = h.images.find(static_cast<std::int32_t>(handle));
    return it == h.images.end() ? nullptr : &it->second;
  };
  switch (code) {
    case HostOpCurrentImage:
      return h.current;
    case HostOpGetSelectedPoint:
      if (h.selected) {
        *reinterpret_cast<std::int32_t*>(b) = h.selected->first;
        *reinterpret_cast<std::int32_t*>(c) = h.selected->second;
      }
      return 0;
    case HostOpGetSize:
      if (!h.store_size) return 0;
      if (h.stored_size) {
        *reinterpret_cast<std::int32_t*>(b) = h.stored_size->first;
        *reinterpret_cast<std::int32_t*>(c) = h.stored_size->second;
      } else if (FakeImage* img = image(a)) {
        *reinterpret_cast<std::int32_t*>(b) = img->width;
        *reinterpret_cast<std::int32_t*>(c) = img->height;
      }
      return 0;
    case HostOpPrepareImage:
      return 0;
    case HostOpGetPixels: {
      auto r = h.pixels_result.find(static_cast<std::int32_t>(a));
      const std::int32_t result = r != h.pixels_result.end() ? r->second : 2;
      FakeImage* img = image(a);
      if (result == 2 && img != nullptr) *reinterpret_cast<float**>(b) = img->samples.data();
      return img != nullptr ? result : 0;
    }
    case HostOpNewImage: {
      const auto w = static_cast<std::int32_t>(a);
      const auto hh = static_cast<std::int32_t>(b);
      FakeImage img{
          w, hh,
          std::vector<float>(static_cast<std::size_t>(w) * static_cast<std::size_t>(hh), 0.0f)};
      const std::int32_t handle = h.next_handle++;
      h.images[handle] = std::move(img);
      return handle;
    }
    case HostOpShowImage:
      h.finished = static_cast<std::int32_t>(a);
      return 0;
    default:
      ADD_FAILURE() << "unexpected host operation " << code;
      return 0;
  }
}

void ShellTest::SetUp() {
  platform::headless::Reset();
  ComaDialog = nullptr;
  platform::headless::AddResource("TFORM3", ReadFile(COMA_DIALOG_LAYOUT));
  platform::headless::SetExecutablePath("C:\\Program Files\\Host\\HOSTAPP.EXE");
  platform::StartUp();
  main_window = platform::headless::CreateHostWindow();
  plugin_window = platform::headless::CreateHostWindow(main_window);
}

void ShellTest::TearDown() {
  platform::headless::Reset();
  ComaDialog = nullptr;
}

void ShellTest::Initialize() {
  char name[32];
  char description[64];
  pi_initialize(FakeHost::Callback, name, description, plugin_window);
}
