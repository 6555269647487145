// The walker's injected keys, sent in the order the walker decided them.
//
// Under Wine, SendInput can serve hook calls for keys typed meanwhile while it
// waits, so the walker runs again inside its own SendInput. Each decision
// updates the walking state and queues its keys before anything is sent, and
// only the outermost call sends: a nested decision sees the state as it now
// is, and its keys go out after the ones decided before it.
#pragma once

#include <windows.h>

void QueueKeyEvent(BYTE vk, bool up);
// A key the player typed, to go out again behind the walk's keys decided
// before it, with its own scan code.
void QueueTypedKey(const KBDLLHOOKSTRUCT& event, bool up);
// The key a hook call passes on once the queue is out, queued behind it so
// that a modifier counts as held for keys typed meanwhile, and so that those
// come behind it.
void QueuePassingKey(const KBDLLHOOKSTRUCT& event, bool up);
// After the queue went out: whether the hook call passes its key on itself
// (true), or that key went out with the queue, ahead of keys typed after it.
bool PassingKeyLeftToPassOn();
bool KeysQueued();
// Whether a key the player typed (VK_SHIFT, VK_CONTROL and VK_MENU stand for
// either side) will be down (1) or up (0) once the queue is out; -1 when
// none of its events wait.
int WaitingTypedKeyState(BYTE vk);
// Whether the queue is being sent: a hook call now runs inside its SendInput.
bool SendingKeys();
// Sends every queued key, unless a call further out is already sending them.
// A key-up the platform refuses (a window or desktop the launcher may not
// reach is in front) stays first in line with everything behind it, since the
// client may still hold that key; a refused key-down is dropped.
void SendQueuedKeys();
// Forgets queued keys without sending them.
void ResetInjectionQueue();
