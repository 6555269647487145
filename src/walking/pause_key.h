// The key that pauses walking and resumes it, so the player can type in the
// game's chat without the walker turning letters into diagonals.
#pragma once

#include <windows.h>

// The key that pauses walking (0: none), whether the hook last saw it go
// down, and whether walking is paused; touched only on the main thread.
extern BYTE pauseKey;
extern bool pauseKeyDown;
extern bool walkingPaused;

// Takes the key chosen in the settings, or none when it is one the walker
// cannot give up.
void UsePauseKey(UINT vk);
void OnPauseKey(WPARAM message, bool inClient);
// Scroll Lock, not down, walking on.
void ResetPauseKey();
