// The state the launcher's parts share: one instance for the whole run.
// Everything else lives in the one file that writes it.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

extern bool smartWalkingEnabled;
extern DWORD clientProcessId;
// Written by walking/keyboard_hook.cpp alone, which installs and removes it.
extern HHOOK keyboardHook;
extern HWINEVENTHOOK showEventHook;
extern HWINEVENTHOOK nameChangeEventHook;

// Written by the main thread's first title pass and by the title thread.
extern std::atomic<std::int32_t> titleApplied;

// Back to the state at start (the keyboard hook's handle is its writer's).
void ResetLauncherState();
