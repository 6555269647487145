#include "walking/pause_key.h"

#include "common/diagnostics_log.h"
#include "walking/direction.h"
#include "walking/keys.h"

BYTE pauseKey = VK_SCROLL;
bool pauseKeyDown = false;
bool walkingPaused = false;

namespace {

bool IsUsablePauseKey(UINT vk) {
  if (vk < 1 || vk > 254) return false;
  // Never take over a key the walker already watches.
  return !IsDirectionKey(vk) && !IsModifierKey(vk);
}

}  // namespace

void UsePauseKey(UINT vk) { pauseKey = IsUsablePauseKey(vk) ? static_cast<BYTE>(vk) : 0; }

bool IsFreshPress(bool& keyDown, WPARAM message) {
  bool down = IsKeyDownMessage(message);
  // A low-level hook gets no repeat flag: a key-down of a key already down is
  // the keyboard's auto-repeat. Tracked wherever the key goes, so a key-up
  // in another window cannot leave the key looking held.
  bool repeat = down && keyDown;
  if (down) keyDown = true;
  if (IsKeyUpMessage(message)) keyDown = false;
  return down && !repeat;
}

void SetWalkingPaused(bool paused) {
  // A walk held now ends with its key-up, and resuming starts from nothing held.
  ReleaseAll();
  walkingPaused = paused;
  LogDiagnostic(walkingPaused ? "walking paused" : "walking resumed");
}

void OnPauseKey(WPARAM message, bool inClient) {
  // With no pause key, a key code of 0 still matches it and must not switch.
  if (pauseKey == 0) return;
  if (IsFreshPress(pauseKeyDown, message) && inClient) SetWalkingPaused(!walkingPaused);
}

void ResetPauseKey() {
  pauseKey = VK_SCROLL;
  pauseKeyDown = walkingPaused = false;
}
