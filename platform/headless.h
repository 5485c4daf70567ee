// Controls for the headless back end (native builds only): what tests use to
// stand in for the window system. Windows are numbers; forms and their
// controls keep texts and geometry in memory; message boxes are recorded and
// answered by a test's handler; posted messages wait for ProcessMessages.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/forms.h"

namespace platform::headless {

struct MessageBoxCall {
  NativeWindow owner = 0;
  std::string text;
  std::string caption;
  unsigned style = 0;
  // The windows that were disabled while this box was shown.
  std::vector<NativeWindow> disabled;
};

// Destroys every form and forgets windows, resources, boxes and settings.
void Reset();

void AddResource(const std::string& name, const std::string& text);
void SetExecutablePath(const std::string& path);
// Pixels per inch of the screen and the text height of a font (face, height);
// by default 96 and |height| + 2.
void SetScreen(std::int32_t pixels_per_inch,
               std::function<std::int32_t(const std::string&, std::int32_t)> text_height);

// A visible, enabled top-level window of the host, owned by `owner`.
NativeWindow CreateHostWindow(NativeWindow owner = 0);
bool IsWindow(NativeWindow window);
bool IsWindowEnabled(NativeWindow window);
NativeWindow ActiveWindow();

// Every box shown since the last Reset or ClearMessageBoxes, in order.
const std::vector<MessageBoxCall>& MessageBoxes();
void ClearMessageBoxes();
// Runs while a box is shown (it may click buttons); returns the box's result.
void SetMessageBoxHandler(std::function<int(const MessageBoxCall&)> handler);

// Dispatches the messages posted so far (deferred releases); returns how many.
int ProcessMessages();
std::size_t PendingMessages();

}  // namespace platform::headless
