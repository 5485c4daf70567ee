// comahost: the reference host for scripted sessions. It opens a raw image,
// selects a point, loads the plug-in, activates it, fills the dialog's fields,
// presses "Create Model" and saves the image the plug-in handed back.
//
//   comahost --plugin ComaModel.dll --open IMG.f32 --select X,Y [--peak V]
//            [--radius R] [--create] [--save MODEL.f32] [--screenshot-pause[=S]]
//
// Exits non-zero with a message on any failure, a message box included.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "formats/raw_image.h"
#include "host/coma_dialog_windows.h"
#include "host/host_state.h"
#include "host/host_windows.h"
#include "host/message_boxes.h"
#include "host/plugin_library.h"

namespace {

struct Options {
  std::string plugin;
  std::string open;
  std::optional<std::pair<std::int32_t, std::int32_t>> select;
  std::optional<std::string> peak;
  std::optional<std::string> radius;
  bool create = false;
  std::string save;
  DWORD pause_ms = 0;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "comahost: error: %s\n", message.c_str());
  return 1;
}

void Usage() {
  std::fprintf(stderr,
               "usage: comahost --plugin DLL --open IMAGE.f32 --select X,Y [--peak V] "
               "[--radius R] [--create] [--save MODEL.f32] [--screenshot-pause[=SECONDS]]\n");
}

bool ParseInt(const std::string& text, std::int32_t* value) {
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<std::int32_t>(parsed);
  return true;
}

bool ParseArguments(int argc, char** argv, Options* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "--plugin") {
      if (!value(&options->plugin)) return false;
    } else if (arg == "--open") {
      if (!value(&options->open)) return false;
    } else if (arg == "--select") {
      if (!value(&text)) return false;
      const auto comma = text.find(',');
      std::int32_t x = 0;
      std::int32_t y = 0;
      if (comma == std::string::npos || !ParseInt(text.substr(0, comma), &x) ||
          !ParseInt(text.substr(comma + 1), &y)) {
        *error = "--select wants X,Y, not " + text;
        return false;
      }
      options->select = std::pair{x, y};
    } else if (arg == "--peak") {
      if (!value(&text)) return false;
      options->peak = text;
    } else if (arg == "--radius") {
      if (!value(&text)) return false;
      options->radius = text;
    } else if (arg == "--create") {
      options->create = true;
    } else if (arg == "--save") {
      if (!value(&options->save)) return false;
    } else if (arg == "--screenshot-pause" || arg.rfind("--screenshot-pause=", 0) == 0) {
      std::int32_t seconds = 3;
      if (arg.size() > 18 && (!ParseInt(arg.substr(19), &seconds) || seconds < 0)) {
        *error = "bad " + arg;
        return false;
      }
      options->pause_ms = static_cast<DWORD>(seconds) * 1000;
    } else {
      *error = "unknown argument " + arg;
      return false;
    }
  }
  if (options->plugin.empty() || options->open.empty()) {
    *error = "--plugin and --open are required";
    return false;
  }
  if (!options->save.empty() && !options->create) {
    *error = "--save needs --create";
    return false;
  }
  return true;
}

std::string DescribeBoxes(const host::MessageBoxCapture& capture) {
  std::string text;
  for (const auto& box : capture.Boxes()) {
    text += "\n  [" + box.caption + "] " + box.text;
  }
  return text;
}

int Run(const Options& options) {
  RawImage raw;
  std::string error;
  if (!ReadRawImage(options.open, &raw, &error)) return Fail(error);
  host::ResetHost();
  const std::int32_t handle = host::AddImage({raw.width, raw.height, raw.samples});
  if (options.select) host::SelectPoint(options.select->first, options.select->second);
  std::printf("comahost: opened %s (%d x %d), image %d\n", options.open.c_str(), raw.width,
              raw.height, handle);

  host::HostWindows windows;
  if (!windows.Create(&error)) return Fail(error);
  windows.ShowImage(host::FindImage(handle));
  host::PumpUntilIdle();
  host::MessageBoxCapture capture;
  if (!capture.Installed()) return Fail("cannot hook the message boxes");

  host::PluginLibrary plugin;
  if (!plugin.Load(options.plugin, &error)) return Fail(error);
  char name[256] = {};
  char description[256] = {};
  const std::int32_t ready = plugin.Initialize()(
      host::HostService, name, description, reinterpret_cast<HostOperand>(windows.ImageWindow()));
  std::printf("comahost: loaded \"%s\" (%s), pi_initialize gave %d\n", name, description, ready);

  plugin.Activate()(0, 0);
  host::PumpUntilIdle();
  const HWND dialog = host::FindComaDialog();
  if (!dialog) return Fail("pi_activate showed no \"Coma Model\" dialog");
  host::ComaDialogWindows fields;
  if (!host::FindComaDialogWindows(dialog, &fields, &error)) return Fail(error);
  if (options.peak) host::SetFieldText(fields.edit_peak, *options.peak);
  if (options.radius) host::SetFieldText(fields.edit_max_rad, *options.radius);
  std::printf("comahost: dialog fields X=%s Y=%s peak=%s radius=%s\n",
              host::WindowText(fields.edit_x).c_str(), host::WindowText(fields.edit_y).c_str(),
              host::WindowText(fields.edit_peak).c_str(),
              host::WindowText(fields.edit_max_rad).c_str());
  host::PumpUntilIdle();

  if (options.pause_ms > 0) {
    std::printf("comahost: dialog on screen for %lu ms\n",
                static_cast<unsigned long>(options.pause_ms));
    std::fflush(stdout);
    const ULONGLONG until = ::GetTickCount64() + options.pause_ms;
    host::PumpUntil([&] { return ::GetTickCount64() >= until; }, options.pause_ms + 1000);
  }

  int status = 0;
  if (options.create) {
    host::ClearCalls();
    host::ClickButton(fields.create);
    host::PumpUntilIdle();
    std::string codes;
    for (const std::int32_t code : host::CallCodes()) codes += " " + std::to_string(code);
    std::printf("comahost: \"Create Model\" issued host operations%s\n", codes.c_str());
    if (!capture.Boxes().empty()) {
      status = Fail("the plug-in showed a message box:" + DescribeBoxes(capture));
    } else if (host::ShownImages().empty()) {
      status = Fail("the plug-in handed back no image");
    } else {
      const host::Image* model = host::FindImage(host::ShownImages().back());
      windows.ShowImage(model);
      host::PumpUntilIdle();
      if (!options.save.empty()) {
        const RawImage out{model->width, model->height, model->samples};
        if (!WriteRawImage(options.save, out, &error)) {
          status = Fail(error);
        } else {
          std::printf("comahost: saved the model to %s\n", options.save.c_str());
        }
      }
    }
  }

  plugin.Finalize()(0);
  host::PumpUntilIdle();
  plugin.Unload();
  windows.Destroy();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseArguments(argc, argv, &options, &error)) {
    Usage();
    return Fail(error);
  }
  const int status = Run(options);
  std::fflush(stdout);
  return status;
}
