// The launcher's process-wide state: one instance for the whole run.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

extern bool smartWalkingEnabled;
extern DWORD clientProcessId;
extern HHOOK keyboardHook;
extern HWINEVENTHOOK showEventHook;
extern HWINEVENTHOOK nameChangeEventHook;

// Written by the main thread's first title pass and by the title thread.
extern std::atomic<std::int32_t> titleApplied;

// Walking state; touched only on the main thread.
extern BYTE sentKey;
extern BYTE lastPressedKey;
extern BYTE heldW;
extern BYTE heldA;
extern BYTE heldS;
extern BYTE heldD;

// The key that pauses walking (0: none), whether the hook last saw it go down,
// and whether walking is paused; touched only on the main thread.
extern BYTE pauseKey;
extern bool pauseKeyDown;
extern bool walkingPaused;
