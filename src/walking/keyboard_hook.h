// The low-level keyboard hook that hands W/A/S/D to the walking logic while
// the client is in the foreground.
#pragma once

#include <windows.h>

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM message, LPARAM event);
// Hooks the whole desktop's keyboard with the launcher's own module; false
// when the platform refuses.
bool InstallKeyboardHook(HINSTANCE instance);
// Event times wrap after 49 days; compares them as the platform does.
inline bool IsLaterEventTime(DWORD time, DWORD than) { return static_cast<LONG>(time - than) > 0; }
inline void KeepLaterEventTime(DWORD& newest, DWORD time) {
  if (IsLaterEventTime(time, newest)) newest = time;
}
bool IsClientForeground();
