#include "platform/win32_support.h"

namespace platform::win32 {

std::string ErrorText(DWORD code) {
  char text[512] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
  std::string result = "error " + std::to_string(code);
  if (length > 0) {
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
      message.pop_back();
    }
    result += ": " + message;
  }
  return result;
}

}  // namespace platform::win32
