// Notices when the platform silently drops the keyboard hook, and hooks again.
//
// Raw keyboard input, which no hook timeout can take away, witnesses every key
// event; a witnessed event the hook has not seen within a short grace period
// means the hook is gone.
#pragma once

#include <windows.h>

// Opens the witness: a message-only window that receives raw keyboard input.
// A witness that cannot be opened leaves walking as it is, unwatched.
void StartHookWatchdog(HINSTANCE instance);
// Stops the raw input and closes the window.
void StopHookWatchdog();
LRESULT CALLBACK HookWatchdogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The keyboard hook tells what it was called for; a key the witness reports
// that the hook was never called for means the hook is gone.
void NoteHookEvent(const KBDLLHOOKSTRUCT& event, WPARAM message);
// What the main thread's wait wakes for: every message, but raw input while
// the watchdog reads it in batches, so that a key costs no wake-up of its own.
UINT MessagesToWakeFor();
// Back to the state at start, the witness closed.
void ResetHookWatchdog();
