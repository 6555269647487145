#include "walking/direction.h"

#include "walking/injection_queue.h"

BYTE sentKey = 0;
BYTE lastPressedKey = 0;
BYTE heldW = 0;
BYTE heldA = 0;
BYTE heldS = 0;
BYTE heldD = 0;

namespace {

BYTE* HeldFlagOf(BYTE vk) {
  switch (vk) {
    case 'W':
      return &heldW;
    case 'A':
      return &heldA;
    case 'S':
      return &heldS;
    case 'D':
      return &heldD;
    default:
      return nullptr;
  }
}

// Of two opposite keys held together, the second wins only when it was the
// very last direction key pressed.
BYTE ResolveAxis(BYTE first, BYTE firstHeld, BYTE second, BYTE secondHeld) {
  if (firstHeld && secondHeld) return lastPressedKey == second ? second : first;
  if (firstHeld) return first;
  if (secondHeld) return second;
  return 0;
}

}  // namespace

// The state changes before the key goes out: a hook call nested in SendInput
// must find the key already released.
void ReleaseSentKey() {
  if (sentKey == 0) return;
  BYTE released = sentKey;
  sentKey = 0;
  QueueKeyEvent(released, true);
}

void ReleaseAll() {
  heldW = heldA = heldS = heldD = 0;
  lastPressedKey = 0;
  ReleaseSentKey();
}

BYTE ResolveDirection() {
  BYTE vertical = ResolveAxis('W', heldW, 'S', heldS);
  BYTE horizontal = ResolveAxis('A', heldA, 'D', heldD);
  if (vertical == 0) return horizontal;
  if (horizontal == 0) return vertical;
  if (vertical == 'W') return horizontal == 'A' ? 'Q' : 'E';
  return horizontal == 'A' ? 'Z' : 'C';
}

void OnDirectionKey(BYTE vk, bool down) {
  BYTE* held = HeldFlagOf(vk);
  if (!held) return;
  *held = down ? 1 : 0;
  if (down) lastPressedKey = vk;

  BYTE desired = ResolveDirection();
  if (desired != sentKey) {
    // The old key goes up before the new one goes down; both are queued
    // before either is sent.
    if (sentKey != 0) QueueKeyEvent(sentKey, true);
    if (desired != 0) QueueKeyEvent(desired, false);
    sentKey = desired;
  } else if (down && sentKey != 0) {
    // The keyboard's auto-repeat reaches the client as repeats of the resolved key.
    QueueKeyEvent(sentKey, false);
  }
}

bool IsDirectionKeyHeld(BYTE vk) {
  const BYTE* held = HeldFlagOf(vk);
  return held && *held;
}

void ResetDirection() {
  sentKey = lastPressedKey = 0;
  heldW = heldA = heldS = heldD = 0;
}
