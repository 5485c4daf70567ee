// The reference host's side of the plug-in protocol: images held in memory
// under handles, a current image and a selected point, and the service
// callback that answers the plug-in's seven operations from them. The
// callback has no context pointer, so this state is static, one per process.
// Tests script how the host answers and read the log of every call.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "plugin/host_api.h"

namespace host {

struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<float> samples;  // width x height, row-major
};

// One call the plug-in made, with its operands and the host's answer.
struct HostCall {
  std::int32_t code = 0;
  HostOperand a = 0;
  HostOperand b = 0;
  HostOperand c = 0;
  std::int32_t result = 0;
};

// How the host answers; the defaults are a well-behaved host.
struct HostScript {
  bool store_point = true;  // operation 11 writes the selected point
  bool store_size = true;   // operation 1 writes the size
  // Operation 1 stores this size instead of the image's own (odd sizes).
  std::optional<std::pair<std::int32_t, std::int32_t>> stored_size;
  // Operation 0 answers fail_pixels_result instead of 2 for these handles.
  std::set<std::int32_t> fail_pixels_for;
  std::int32_t fail_pixels_result = 0;
  bool fail_pixels_for_new_images = false;  // the same for every image operation 14 makes
  bool new_image_handle_zero = false;       // operation 14 creates nothing and answers 0
  float new_image_fill = 0.0f;              // the samples a new image starts with
  // Called inside the callback after the call has been answered and logged,
  // e.g. to dispatch window messages while a command runs.
  std::function<void(const HostCall&)> on_call;
};

// Largest image operation 14 creates: a size beyond it gets handle 0.
inline constexpr std::int64_t kMaxNewImageSamples = std::int64_t{1} << 26;

// Forgets every image, the point, the log and the script.
void ResetHost();

// Adds an image and makes it the current one; returns its handle (never 0).
std::int32_t AddImage(Image image);
// Makes handle the current image (0: none is open).
void SetCurrentImage(std::int32_t handle);
std::int32_t CurrentImage();
void SelectPoint(std::int32_t x, std::int32_t y);

// The image under handle, or nullptr.
const Image* FindImage(std::int32_t handle);
// Handles that operation 14 created, in order.
const std::vector<std::int32_t>& CreatedImages();
// Handles that operation 2 handed over, in order.
const std::vector<std::int32_t>& ShownImages();

HostScript& Script();
const std::vector<HostCall>& Calls();
void ClearCalls();
// The codes of the logged calls, in order.
std::vector<std::int32_t> CallCodes();

// The service callback handed to pi_initialize.
std::int32_t COMA_STDCALL HostService(std::int32_t code, HostOperand a, HostOperand b,
                                      HostOperand c);

}  // namespace host
