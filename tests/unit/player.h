// A player at the keyboard of the stand-in desktop, with the client's window
// and one other application's window on it.
#pragma once

#include <windows.h>

#include <string>

#include "desktop.h"
#include "walking/keyboard_hook.h"

namespace player {

constexpr DWORD kClientProcess = 4242;
constexpr DWORD kOtherProcess = 777;

// Back to an empty desktop and the launcher as it starts, every part of it.
void ResetLauncher();
// Resets the desktop and the launcher state (Scroll Lock the pause key, as
// by default), opens the client's and another application's window with the
// client in front, and installs the hook.
void SetUpDesktop(HOOKPROC hook = KeyboardHookProc);
// Runs the launcher's message pump until its queue is empty.
void Pump();
HWND ClientWindow();
HWND OtherWindow();

// Plays a script of physical events: "W+" press, "W-" release, "W*"
// auto-repeat, "Ctrl+" and the like, "!L-" a key no hook sees (as on the lock
// screen), and "@client", "@other", "@none" to move the foreground.
void Play(const std::string& script);
BYTE KeyCode(const std::string& name);

}  // namespace player
