#include "plugin/comacode9.h"

#include <cstring>

#include "dialog/frmCC3.h"
#include "engine/coma_engine.h"
#include "platform/forms.h"
#include "platform/int_text.h"
#include "platform/memory.h"

HostCallback HostCallbackSlot = nullptr;

namespace {

constexpr char kName[] = "Halberon Coma Model";
constexpr char kDescription[] = "Syntetize a comet coma model from a real image";
static_assert(sizeof kName == 20 && sizeof kDescription == 47);

// True while a command runs. A host operation or a message box may dispatch
// window messages, and with them another click; the commands work on shared
// module state, so a second one started meanwhile does nothing.
constinit bool command_running = false;

class CommandGuard {
 public:
  CommandGuard() : entered_(!command_running) { command_running = true; }
  ~CommandGuard() {
    if (entered_) command_running = false;
  }
  CommandGuard(const CommandGuard&) = delete;
  CommandGuard& operator=(const CommandGuard&) = delete;
  bool Entered() const { return entered_; }

 private:
  bool entered_;
};

std::int32_t Host(std::int32_t code, HostOperand a, HostOperand b, HostOperand c) {
  return HostCallbackSlot(code, a, b, c);
}

template <class T>
HostOperand AddressOf(T* location) {
  return reinterpret_cast<HostOperand>(location);
}

// The field's whole text as an integer; the platform's conversion error
// otherwise.
std::int32_t FieldValue(const platform::Edit* field) { return platform::StrToInt(field->Text()); }

}  // namespace

extern "C" {

std::int32_t COMA_STDCALL pi_initialize(HostCallback callback, char* name, char* description,
                                        HostOperand window) noexcept {
  HostCallbackSlot = callback;
  std::memcpy(name, kName, sizeof kName);
  std::memcpy(description, kDescription, sizeof kDescription);
  ComaDialog = nullptr;
  platform::App().SetHandle(platform::WindowOwner(window));
  return 1;
}

void COMA_STDCALL pi_activate(HostOperand, HostOperand) noexcept {
  // Nothing may unwind into the host: an error creating the dialog is shown
  // like one leaving an event handler.
  try {
    if (ComaDialog == nullptr) ComaDialog = new TForm3(platform::App());
    ComaDialog->Show();
    GetPointFromImage();
  } catch (...) {
    platform::App().HandleException();
  }
}

void COMA_STDCALL pi_finalize(HostOperand) noexcept {
  // Destroyed when the host's message loop dispatches the release, or at
  // unload; ComaDialog stays as it is until then. Without a dialog (never
  // activated, or already destroyed) nothing happens.
  if (ComaDialog != nullptr) ComaDialog->Release();
}

}  // extern "C"

void GetPointFromImage() {
  CommandGuard guard;
  if (!guard.Entered()) return;
  const std::int32_t image = Host(HostOpCurrentImage, HostCurrentImageSelector, 0, 0);
  std::int32_t x = 0;
  std::int32_t y = 0;
  if (image != 0) Host(HostOpGetSelectedPoint, image, AddressOf(&x), AddressOf(&y));
  ComaDialog->EditX->SetText(platform::IntToStr(x));
  ComaDialog->EditY->SetText(platform::IntToStr(y));
}

void CreateComaModel() {
  CommandGuard guard;
  if (!guard.Entered()) return;

  const std::int32_t source = Host(HostOpCurrentImage, HostCurrentImageSelector, 0, 0);
  if (source == 0) {
    ShowError("Please open an image.");
    return;
  }

  // Read and converted one after the other: the first that fails ends the
  // command, and the fields after it are not read.
  PeakValue = static_cast<float>(FieldValue(ComaDialog->EditPeak));
  const std::int32_t cx = FieldValue(ComaDialog->EditX);
  const std::int32_t cy = FieldValue(ComaDialog->EditY);
  const std::int32_t radius = FieldValue(ComaDialog->EditMaxRad);

  if (cx == 0 && cy == 0) {
    ShowInfo("Please select a point as coma centroid");
    return;
  }
  // The profile holds radii up to MaxModelRadius; a larger one would run
  // past its end.
  if (!RadiusFitsProfile(radius)) {
    ShowError("Max radius must be " + platform::IntToStr(MaxModelRadius) + " or less.");
    return;
  }

  Host(HostOpGetSize, source, AddressOf(&ImageWidth), AddressOf(&ImageHeight));
  Host(HostOpPrepareImage, source, 0, 0);

  // Computed in 64 bits from whatever the host stored: a negative size or
  // one beyond any block is the platform's "Out of memory".
  const std::int64_t samples = std::int64_t{ImageWidth} * std::int64_t{ImageHeight};
  const std::int64_t bytes =
      ImageWidth < 0 || ImageHeight < 0 || samples > platform::MaxBlockBytes / 4 ? -1 : samples * 4;
  // The working copy, released on every way out; SourceCopy never outlives it.
  struct WorkingCopy {
    explicit WorkingCopy(std::int64_t size) : block(size) {
      SourceCopy = static_cast<const float*>(block.Data());
    }
    ~WorkingCopy() { Release(); }
    void Release() {
      block.Reset();
      SourceCopy = nullptr;
    }
    platform::MemoryBlock block;
  } copy(bytes);

  if (Host(HostOpGetPixels, source, AddressOf(&ModelPixels), 0) != HostPixelsAvailable) return;
  if (copy.block.Size() != 0) std::memcpy(copy.block.Data(), ModelPixels, copy.block.Size());

  const std::int32_t model = Host(HostOpNewImage, ImageWidth, ImageHeight, 0);
  if (Host(HostOpGetPixels, model, AddressOf(&ModelPixels), 0) != HostPixelsAvailable) return;

  const bool rendered = RenderComaModel(cx, cy, radius);
  copy.Release();
  if (rendered) Host(HostOpShowImage, model, 1, 1);
}

void ShowError(const std::string& text) {
  platform::ShowMessageBox(
      platform::App().Handle(), text, "Error",
      platform::MbOk | platform::MbIconError | platform::MbTaskModal | platform::MbTopmost);
}

void ShowInfo(const std::string& text) {
  platform::ShowMessageBox(
      platform::App().Handle(), text, "Information",
      platform::MbOk | platform::MbIconInformation | platform::MbTaskModal | platform::MbTopmost);
}
