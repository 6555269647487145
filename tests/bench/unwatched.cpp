// The launcher as it was before it watched its hook: the benchmark's baseline
// for what the witness costs a key.
#include "walking/hook_watchdog.h"

void StartHookWatchdog(HINSTANCE) {}
void StopHookWatchdog() {}
LRESULT CALLBACK HookWatchdogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
void NoteHookEvent(const KBDLLHOOKSTRUCT&, WPARAM) {}
UINT MessagesToWakeFor() { return QS_ALLINPUT; }
void ResetHookWatchdog() {}
