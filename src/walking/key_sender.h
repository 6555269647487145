// Sends the walk's keys from the launcher's message loop rather than from
// inside the keyboard hook, and lets no walk outlive the client's keyboard.
//
// SendInput returns only once every other program's hook has had the injected
// key. Sent from inside our hook, that time would count against our hook call,
// and the platform silently removes a hook whose call takes too long.
#pragma once

#include <windows.h>

// Opens the message-only window the walk's keys go out from. Without it, and
// under Wine, keys go out at once, wherever they were decided.
void StartKeySender(HINSTANCE instance);
// Closes the window; keys still queued are sent first.
void StopKeySender();
// Called as a hook call ends: whatever it decided goes out once the call has
// returned.
void SendKeysAfterHook();
// Sends what is queued now, for a decision made outside the hook or a key the
// hook is about to pass on, which must not overtake the walk's keys.
void SendKeysNow();
LRESULT CALLBACK KeySenderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Back to the state at start, the window closed.
void ResetKeySender();
