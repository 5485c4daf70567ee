// The library's entry point: the platform's start-up and shutdown, and
// nothing of the module's own. Thread notifications are switched off, since
// nothing here needs them.
#include <windows.h>

#include "platform/forms.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) noexcept {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      ::DisableThreadLibraryCalls(instance);
      platform::StartUp();
      break;
    case DLL_PROCESS_DETACH:
      // On FreeLibrary the process lives on: the module's windows and window
      // class must go now, or the next message for them would run code that
      // is no longer mapped. At process exit (reserved set) nothing remains
      // to protect.
      if (reserved == nullptr) platform::ShutDown();
      break;
    default:
      break;
  }
  return TRUE;
}
