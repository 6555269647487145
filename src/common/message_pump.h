// The main thread's message pump, shared by the launcher's wait and whatever
// else has to let the platform call the hooks.
#pragma once

#include <windows.h>

// Handles every waiting message of the kinds in wakeMask (QS_* bits, the
// kinds the wait woke for); false once WM_QUIT arrives.
bool PumpWaitingMessages(UINT wakeMask);
