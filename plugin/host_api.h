// The binary interface between a host and the plug-in: the host's service
// callback, the operation codes the plug-in issues, and the entry points'
// signatures. Shared by the plug-in and by the reference host.
#pragma once

#include <cstdint>

// The host's calling convention: stdcall, the called function removes its
// arguments. It exists on 32-bit x86 only (Windows, and Linux for the 32-bit
// test build); the 64-bit builds have one convention.
#if defined(_WIN32)
#define COMA_STDCALL __stdcall
#elif defined(__i386__)
#define COMA_STDCALL __attribute__((stdcall))
#else
#define COMA_STDCALL
#endif

// Operands are pointer-sized: 32-bit in the product (the host's ABI) and
// still able to carry an address in the 64-bit builds.
using HostOperand = std::intptr_t;
using HostCallback = std::int32_t(COMA_STDCALL*)(std::int32_t code, HostOperand a, HostOperand b,
                                                 HostOperand c);

// The host operations the plug-in issues.
enum HostOperation : std::int32_t {
  HostOpGetPixels = 0,          // (image, &pixel address, 0) -> 2 when available
  HostOpGetSize = 1,            // (image, &width, &height)
  HostOpShowImage = 2,          // (image, 1, 1): the finished image goes to the host
  HostOpPrepareImage = 8,       // (image, 0, 0)
  HostOpGetSelectedPoint = 11,  // (image, &x, &y)
  HostOpNewImage = 14,          // (width, height, 0) -> handle of a new image
  HostOpCurrentImage = 16,      // (4096, 0, 0) -> handle of the current image, 0 for none
};

inline constexpr std::int32_t HostPixelsAvailable = 2;
inline constexpr HostOperand HostCurrentImageSelector = 4096;

// Entry points, exported by name and ordinal (1, 2, 3). None lets an
// exception out into the host.
using PiInitialize = std::int32_t(COMA_STDCALL*)(HostCallback callback, char* name,
                                                 char* description, HostOperand window) noexcept;
using PiActivate = void(COMA_STDCALL*)(HostOperand, HostOperand) noexcept;
using PiFinalize = void(COMA_STDCALL*)(HostOperand) noexcept;
