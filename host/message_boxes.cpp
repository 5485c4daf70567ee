#include "host/message_boxes.h"

#include <algorithm>
#include <cstring>

#include "host/host_windows.h"

namespace host {
namespace {

MessageBoxCapture* g_capture = nullptr;
MessageBoxLog* g_log = nullptr;

bool IsMessageBox(HWND window) {
  return WindowClass(window) == "#32770" && ::GetDlgItem(window, 0xFFFF) != nullptr;
}

struct IconSearch {
  HICON icon = nullptr;
};

// EnumChildWindows callback: the box's icon control, if any.
BOOL CALLBACK RecordIconChild(HWND child, LPARAM context) noexcept {
  const auto style = static_cast<DWORD>(::GetWindowLongPtrA(child, GWL_STYLE));
  if (WindowClass(child) == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
    reinterpret_cast<IconSearch*>(context)->icon =
        reinterpret_cast<HICON>(::SendMessageA(child, STM_GETICON, 0, 0));
    return FALSE;
  }
  return TRUE;
}

struct ThreadWindowSearch {
  HWND box;
  CapturedBox* record;
};

// EnumThreadWindows callback: which of the thread's other windows the box
// left enabled and visible, and which it disabled.
BOOL CALLBACK RecordThreadWindow(HWND other, LPARAM param) noexcept {
  auto* c = reinterpret_cast<ThreadWindowSearch*>(param);
  if (other == c->box) return TRUE;
  if (!::IsWindowEnabled(other)) {
    c->record->disabled.push_back(other);
  } else if (::IsWindowVisible(other)) {
    c->record->enabled_visible.push_back(other);
  }
  return TRUE;
}

BoxIcon IconOf(HWND box) {
  IconSearch search;
  ::EnumChildWindows(box, RecordIconChild, reinterpret_cast<LPARAM>(&search));
  if (!search.icon) return BoxIcon::None;
  const auto stock = [](LPCSTR id) { return ::LoadIconA(nullptr, id); };
  if (search.icon == stock(reinterpret_cast<LPCSTR>(IDI_HAND))) return BoxIcon::Error;
  if (search.icon == stock(reinterpret_cast<LPCSTR>(IDI_ASTERISK))) return BoxIcon::Information;
  if (search.icon == stock(reinterpret_cast<LPCSTR>(IDI_EXCLAMATION))) return BoxIcon::Warning;
  if (search.icon == stock(reinterpret_cast<LPCSTR>(IDI_QUESTION))) return BoxIcon::Question;
  return BoxIcon::Other;
}

std::string Narrow(LPCWSTR text) {
  if (!text) return {};
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(std::max(length, 1)), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, result.data(), length, nullptr, nullptr);
  result.resize(std::strlen(result.c_str()));
  return result;
}

}  // namespace

const char* BoxIconName(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::None:
      return "none";
    case BoxIcon::Error:
      return "error";
    case BoxIcon::Information:
      return "information";
    case BoxIcon::Warning:
      return "warning";
    case BoxIcon::Question:
      return "question";
    case BoxIcon::Other:
      return "other";
  }
  return "?";
}

MessageBoxCapture::MessageBoxCapture() {
  if (g_capture) return;  // one capture per process; a second stays inert
  hook_.Reset(::SetWindowsHookExA(WH_CBT, HookProc, nullptr, ::GetCurrentThreadId()));
  if (hook_) g_capture = this;
}

MessageBoxCapture::~MessageBoxCapture() {
  if (hook_) g_capture = nullptr;
}

LRESULT CALLBACK MessageBoxCapture::HookProc(int code, WPARAM wparam, LPARAM lparam) noexcept {
  if (g_capture) {
    const auto window = reinterpret_cast<HWND>(wparam);
    if (code == HCBT_ACTIVATE) {
      g_capture->OnActivate(window);
    } else if (code == HCBT_DESTROYWND) {
      auto& open = g_capture->open_;
      open.erase(std::remove(open.begin(), open.end(), window), open.end());
    }
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

void MessageBoxCapture::OnActivate(HWND window) {
  if (std::find(open_.begin(), open_.end(), window) != open_.end()) return;
  if (!IsMessageBox(window)) return;
  open_.push_back(window);

  CapturedBox box;
  box.window = window;
  box.owner = ::GetWindow(window, GW_OWNER);
  box.caption = WindowText(window);
  box.text = WindowText(::GetDlgItem(window, 0xFFFF));
  box.icon = IconOf(window);
  ThreadWindowSearch context{window, &box};
  ::EnumThreadWindows(::GetCurrentThreadId(), RecordThreadWindow,
                      reinterpret_cast<LPARAM>(&context));
  boxes_.push_back(box);
  if (on_box) on_box(boxes_.back());
  if (close_boxes) {
    ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, IDOK)));
  }
}

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement) {
  if (!module) return;
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return;
  const HMODULE exporter = ::GetModuleHandleA(dll);
  void* const target =
      exporter ? reinterpret_cast<void*>(::GetProcAddress(exporter, function)) : nullptr;

  for (auto* descriptor =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       descriptor->Name != 0; ++descriptor) {
    if (::lstrcmpiA(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0) continue;
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
    const auto* names =
        descriptor->OriginalFirstThunk
            ? reinterpret_cast<const IMAGE_THUNK_DATA*>(base + descriptor->OriginalFirstThunk)
            : nullptr;
    for (std::size_t i = 0; slots[i].u1.Function != 0; ++i) {
      bool match = false;
      if (names && !IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) {
        const auto* by_name =
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData);
        match = std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0;
      } else if (target) {
        match = reinterpret_cast<void*>(slots[i].u1.Function) == target;
      }
      if (!match) continue;
      void** slot = reinterpret_cast<void**>(&slots[i].u1.Function);
      DWORD old_protection = 0;
      if (!::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old_protection)) return;
      original_ = *slot;
      *slot = replacement;
      ::VirtualProtect(slot, sizeof *slot, old_protection, &old_protection);
      slot_ = slot;
      module_ = module;
      return;
    }
  }
}

ImportPatch::~ImportPatch() {
  if (!slot_) return;
  // A module unloaded (or replaced) meanwhile has no table to restore.
  HMODULE owner = nullptr;
  if (!::GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(slot_), &owner) ||
      owner != module_) {
    return;
  }
  DWORD old_protection = 0;
  if (::VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old_protection)) {
    *slot_ = original_;
    ::VirtualProtect(slot_, sizeof *slot_, old_protection, &old_protection);
  }
}

MessageBoxLog::MessageBoxLog(HMODULE plugin)
    : ansi_(plugin, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(&AnsiBox)),
      wide_(plugin, "user32.dll", "MessageBoxW", reinterpret_cast<void*>(&WideBox)) {
  g_log = this;
}

MessageBoxLog::~MessageBoxLog() {
  if (g_log == this) g_log = nullptr;
}

int WINAPI MessageBoxLog::AnsiBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) noexcept {
  if (g_log) {
    g_log->calls_.push_back({owner, text ? text : "", caption ? caption : "", type, false});
  }
  return ::MessageBoxA(owner, text, caption, type);
}

int WINAPI MessageBoxLog::WideBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) noexcept {
  if (g_log) g_log->calls_.push_back({owner, Narrow(text), Narrow(caption), type, true});
  return ::MessageBoxW(owner, text, caption, type);
}

}  // namespace host
