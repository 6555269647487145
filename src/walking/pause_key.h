// The key that pauses walking and resumes it, so the player can type in the
// game's chat without the walker turning letters into diagonals.
#pragma once

#include <windows.h>

// The key that pauses walking (0: none), whether the hook last saw it go
// down, and whether walking is paused; touched only on the main thread.
// The chat mode switches the same pause, so either key undoes the other.
extern BYTE pauseKey;
extern bool pauseKeyDown;
extern bool walkingPaused;

// Takes the key chosen in the settings, or none when it is one the walker
// cannot give up.
void UsePauseKey(UINT vk);
void OnPauseKey(WPARAM message, bool inClient);
// Follows a switching key up and down wherever it goes; true only for a
// key-down that is no auto-repeat of one already down.
bool IsFreshPress(bool& keyDown, WPARAM message);
// Pauses or resumes walking; a walk held at the switch ends with its key-up.
void SetWalkingPaused(bool paused);
// Scroll Lock, not down, walking on.
void ResetPauseKey();
