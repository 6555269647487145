// The main thread's message pump, shared by the launcher's wait and whatever
// else has to let the platform call the hooks.
#pragma once

#include <windows.h>

// What the pump wakes for and takes off the queue. The hook watchdog leaves
// raw input waiting while it reads it in batches, so that a key costs the
// launcher no wake-up of its own.
extern UINT pumpWakeMask;

// Handles every waiting message the pump takes; false once WM_QUIT arrives.
bool PumpWaitingMessages();
