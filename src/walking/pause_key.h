// The key that pauses walking and resumes it, so the player can type in the
// game's chat without the walker turning letters into diagonals.
#pragma once

#include <windows.h>

bool IsUsablePauseKey(UINT vk);
void OnPauseKey(WPARAM message, bool inClient);
