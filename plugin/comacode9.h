// The plug-in's boundary with the host: the three entry points, the stored
// host callback, and the two commands the dialog runs with their message
// boxes.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/host_api.h"

// The host's service entry, stored by pi_initialize; never cleared.
extern HostCallback HostCallbackSlot;

extern "C" {
std::int32_t COMA_STDCALL pi_initialize(HostCallback callback, char* name, char* description,
                                        HostOperand window) noexcept;
void COMA_STDCALL pi_activate(HostOperand, HostOperand) noexcept;
void COMA_STDCALL pi_finalize(HostOperand) noexcept;
}

// Writes the point selected in the host's current image into the dialog's X
// and Y fields; (0, 0) when no image is open.
void GetPointFromImage();

// Reads the dialog's fields, copies the current image, has the host create a
// new image of the same size, renders the coma model into it and hands it to
// the host.
void CreateComaModel();

// The module's own message boxes, owned by the application's window.
void ShowError(const std::string& text);
void ShowInfo(const std::string& text);
