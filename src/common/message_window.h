// Message-only windows: never shown, never enumerated, no taskbar entry; the
// launcher's parts use them for timers, posted messages and raw input.
#pragma once

#include <windows.h>

// Registers the class and opens its one window; null when either fails.
HWND OpenMessageWindow(const wchar_t* className, WNDPROC procedure, HINSTANCE instance);
void CloseMessageWindow(HWND window, const wchar_t* className, HINSTANCE instance);
