#include "host/host_windows.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/win32_support.h"

namespace host {
namespace {

constexpr char kMainClass[] = "ComaHostMain";
constexpr char kImageClass[] = "ComaHostImage";

// The grey-scale picture the image window paints: 8-bit rows, padded to four
// bytes, bottom-up as a DIB wants them.
struct Picture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> bytes;
};
Picture g_picture;

Picture MakePicture(const Image& image) {
  Picture picture;
  picture.width = image.width;
  picture.height = image.height;
  const std::int32_t stride = (image.width + 3) & ~3;
  picture.bytes.assign(static_cast<std::size_t>(std::int64_t{stride} * image.height), 0);
  float low = INFINITY;
  float high = -INFINITY;
  for (const float v : image.samples) {
    if (std::isfinite(v)) {
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  const double range = high > low ? double{high} - low : 1.0;
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const float v = image.samples[static_cast<std::size_t>(x + std::int64_t{y} * image.width)];
      // Square-root stretch: a coma's faint wings stay visible beside its core.
      const double level = std::isfinite(v) ? std::sqrt((v - low) / range) : 0.0;
      const auto row = static_cast<std::size_t>(image.height - 1 - y);
      picture.bytes[row * static_cast<std::size_t>(stride) + static_cast<std::size_t>(x)] =
          static_cast<std::uint8_t>(std::lround(255.0 * std::clamp(level, 0.0, 1.0)));
    }
  }
  return picture;
}

void PaintPicture(HWND window) {
  const platform::win32::PaintDC paint(window);
  HDC dc = paint.Get();
  RECT client;
  ::GetClientRect(window, &client);
  if (g_picture.width > 0 && g_picture.height > 0) {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = g_picture.width;
    info.header.biHeight = g_picture.height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    info.header.biCompression = BI_RGB;
    for (int i = 0; i < 256; ++i) {
      const auto level = static_cast<BYTE>(i);
      info.colours[i] = RGBQUAD{level, level, level, 0};
    }
    // Fit the picture into the window keeping its aspect ratio.
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    const std::int64_t scaled_height = std::int64_t{client.right} * g_picture.height;
    const std::int64_t scaled_width = std::int64_t{client.bottom} * g_picture.width;
    LONG width = client.right;
    LONG height = client.bottom;
    if (scaled_height / g_picture.width <= client.bottom) {
      height = static_cast<LONG>(scaled_height / g_picture.width);
    } else {
      width = static_cast<LONG>(scaled_width / g_picture.height);
    }
    ::SetStretchBltMode(dc, HALFTONE);
    ::StretchDIBits(dc, 0, 0, width, height, 0, 0, g_picture.width, g_picture.height,
                    g_picture.bytes.data(), reinterpret_cast<const BITMAPINFO*>(&info),
                    DIB_RGB_COLORS, SRCCOPY);
  } else {
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
  }
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  return ::DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK ImageProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message == WM_PAINT) {
    PaintPicture(window);
    return 0;
  }
  // The user closes the host, not its image window.
  if (message == WM_CLOSE) return 0;
  return ::DefWindowProcA(window, message, wparam, lparam);
}

bool RegisterClasses(std::string* error) {
  static bool registered = false;
  if (registered) return true;
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA main{};
  main.lpfnWndProc = MainProc;
  main.hInstance = instance;
  main.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
  main.lpszClassName = kMainClass;
  WNDCLASSA image = main;
  image.lpfnWndProc = ImageProc;
  image.hbrBackground = nullptr;
  image.lpszClassName = kImageClass;
  if (!::RegisterClassA(&main) || !::RegisterClassA(&image)) {
    *error = "cannot register the host's window classes (" + platform::win32::ErrorText() + ")";
    return false;
  }
  registered = true;
  return true;
}

}  // namespace

bool HostWindows::Create(std::string* error, bool owned) {
  Destroy();
  if (!RegisterClasses(error)) return false;
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  main_.Reset(::CreateWindowExA(0, kMainClass, "Hostapp", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                900, 660, nullptr, nullptr, instance, nullptr));
  if (!main_) {
    *error = "cannot create the host's main window (" + platform::win32::ErrorText() + ")";
    return false;
  }
  image_.Reset(::CreateWindowExA(0, kImageClass, "Image", WS_POPUP | WS_CAPTION | WS_VISIBLE, 40,
                                 90, 400, 420, owned ? main_.Get() : nullptr, nullptr, instance,
                                 nullptr));
  if (!image_) {
    *error = "cannot create the host's image window (" + platform::win32::ErrorText() + ")";
    main_.Reset();
    return false;
  }
  return true;
}

void HostWindows::Destroy() {
  image_.Reset();
  main_.Reset();
}

void HostWindows::ShowImage(const Image* image) {
  g_picture = image ? MakePicture(*image) : Picture{};
  if (image_) ::InvalidateRect(image_.Get(), nullptr, FALSE);
}

void PumpUntilIdle(DWORD idle_ms) {
  for (;;) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
    }
    if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, idle_ms, QS_ALLINPUT) == WAIT_TIMEOUT) {
      return;
    }
  }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageA(&message);
      if (done()) return true;
    }
    if (done()) return true;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10)),
                                QS_ALLINPUT);
  }
}

std::string WindowText(HWND window) {
  const int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
  const int copied = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

std::string WindowClass(HWND window) {
  char name[256] = {};
  const int length = ::GetClassNameA(window, name, sizeof name);
  return std::string(name, static_cast<std::size_t>(std::max(length, 0)));
}

}  // namespace host
