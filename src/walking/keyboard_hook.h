// The low-level keyboard hook that hands W/A/S/D to the walking logic while
// the client is in the foreground.
#pragma once

#include <windows.h>

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM message, LPARAM event);
// Hooks the whole desktop's keyboard with the launcher's own module; false
// when the platform refuses.
bool InstallKeyboardHook(HINSTANCE instance);
void RemoveKeyboardHook();
bool IsClientForeground();
// Forgets the hook and which keys it saw held.
void ResetKeyboardHook();
