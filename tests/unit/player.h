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
constexpr DWORD kElevatedProcess = 778;
constexpr DWORD kGhostProcess = 779;

// Back to an empty desktop and the launcher as it starts, every part of it.
void ResetLauncher();
// Resets the desktop and the launcher state (Scroll Lock the pause key, as
// by default), opens the client's and another application's window with the
// client in front, an elevated window and a hung client's ghost, and
// installs the hook and opens the key sender, as the launcher does, with the
// keyboard input in Windows' order or Wine's.
void SetUpDesktop(HOOKPROC hook = KeyboardHookProc, standin::InputOrder order = standin::InputOrder::Windows);
// Runs the launcher's message pump until its queue is empty.
void Pump();
HWND ClientWindow();
HWND OtherWindow();
HWND ElevatedWindow();
HWND GhostWindow();

// Plays a script of physical events: "W+" press, "W-" release, "W*"
// auto-repeat, "Ctrl+" and the like, "!L-" a key no hook sees (as on the lock
// screen), and "@client", "@other", "@elevated", "@ghost", "@none" to move
// the foreground, "@secure" to switch to the secure desktop (any other "@"
// switches back). The launcher handles its messages after each step, as it
// does between keys, unless pumping is off.
void Play(const std::string& script, bool pumping = true);
BYTE KeyCode(const std::string& name);

}  // namespace player
