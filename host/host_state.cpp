#include "host/host_state.h"

#include <cstring>
#include <utility>

namespace host {
namespace {

struct State {
  std::map<std::int32_t, Image> images;
  std::int32_t next_handle = 1;
  std::int32_t current = 0;
  std::int32_t point_x = 0;
  std::int32_t point_y = 0;
  std::vector<std::int32_t> created;
  std::vector<std::int32_t> shown;
  std::vector<HostCall> calls;
  HostScript script;
};

State& TheState() {
  static State state;
  return state;
}

Image* Find(std::int32_t handle) {
  auto& images = TheState().images;
  const auto it = images.find(handle);
  return it == images.end() ? nullptr : &it->second;
}

void StoreInt32(HostOperand address, std::int32_t value) {
  std::memcpy(reinterpret_cast<void*>(address), &value, sizeof value);
}

std::int32_t NewImage(HostOperand width, HostOperand height) {
  State& s = TheState();
  if (s.script.new_image_handle_zero) return 0;
  // The operands are pointer-sized; a size that is not a positive int32 pair
  // of a size the host can hold creates nothing.
  const std::int64_t w = width;
  const std::int64_t h = height;
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX || w * h > kMaxNewImageSamples) {
    return 0;
  }
  Image image;
  image.width = static_cast<std::int32_t>(w);
  image.height = static_cast<std::int32_t>(h);
  image.samples.assign(static_cast<std::size_t>(w * h), s.script.new_image_fill);
  const std::int32_t handle = s.next_handle++;
  s.images.emplace(handle, std::move(image));
  s.created.push_back(handle);
  if (s.script.fail_pixels_for_new_images) s.script.fail_pixels_for.insert(handle);
  return handle;
}

std::int32_t Answer(std::int32_t code, HostOperand a, HostOperand b, HostOperand c) {
  State& s = TheState();
  const auto handle = static_cast<std::int32_t>(a);
  switch (code) {
    case HostOpCurrentImage:
      return s.current;
    case HostOpGetSelectedPoint:
      if (Find(handle) && s.script.store_point) {
        StoreInt32(b, s.point_x);
        StoreInt32(c, s.point_y);
      }
      return 0;
    case HostOpGetSize:
      if (const Image* image = Find(handle); image && s.script.store_size) {
        const auto size = s.script.stored_size.value_or(std::pair{image->width, image->height});
        StoreInt32(b, size.first);
        StoreInt32(c, size.second);
      }
      return 0;
    case HostOpPrepareImage:
      return 0;
    case HostOpGetPixels: {
      Image* image = Find(handle);
      if (!image) return 0;
      if (s.script.fail_pixels_for.count(handle)) return s.script.fail_pixels_result;
      float* pixels = image->samples.data();
      std::memcpy(reinterpret_cast<void*>(b), &pixels, sizeof pixels);
      return HostPixelsAvailable;
    }
    case HostOpNewImage:
      return NewImage(a, b);
    case HostOpShowImage:
      s.shown.push_back(handle);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

void ResetHost() { TheState() = State{}; }

std::int32_t AddImage(Image image) {
  State& s = TheState();
  const std::int32_t handle = s.next_handle++;
  s.images.emplace(handle, std::move(image));
  s.current = handle;
  return handle;
}

void SetCurrentImage(std::int32_t handle) { TheState().current = handle; }
std::int32_t CurrentImage() { return TheState().current; }

void SelectPoint(std::int32_t x, std::int32_t y) {
  TheState().point_x = x;
  TheState().point_y = y;
}

const Image* FindImage(std::int32_t handle) { return Find(handle); }
const std::vector<std::int32_t>& CreatedImages() { return TheState().created; }
const std::vector<std::int32_t>& ShownImages() { return TheState().shown; }
HostScript& Script() { return TheState().script; }
const std::vector<HostCall>& Calls() { return TheState().calls; }
void ClearCalls() { TheState().calls.clear(); }

std::vector<std::int32_t> CallCodes() {
  std::vector<std::int32_t> codes;
  for (const HostCall& call : TheState().calls) codes.push_back(call.code);
  return codes;
}

std::int32_t COMA_STDCALL HostService(std::int32_t code, HostOperand a, HostOperand b,
                                      HostOperand c) {
  const HostCall call{code, a, b, c, Answer(code, a, b, c)};
  TheState().calls.push_back(call);
  // Copy the hook: it may change the script (and so itself) while it runs.
  if (auto hook = TheState().script.on_call) hook(call);
  return call.result;
}

}  // namespace host
