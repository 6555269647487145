// The low-level keyboard hook that hands W/A/S/D to the walking logic while
// the client is in the foreground.
#pragma once

#include <windows.h>

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM message, LPARAM event);
bool IsClientForeground();
