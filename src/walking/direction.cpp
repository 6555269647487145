#include "walking/direction.h"

#include "common/launcher_state.h"

namespace {

constexpr BYTE kW = 'W';
constexpr BYTE kA = 'A';
constexpr BYTE kS = 'S';
constexpr BYTE kD = 'D';

BYTE* HeldFlagOf(BYTE vk) {
  switch (vk) {
    case kW:
      return &heldW;
    case kA:
      return &heldA;
    case kS:
      return &heldS;
    case kD:
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

void SendKeyEvent(BYTE vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, static_cast<int>(sizeof input));
}

void PressSentKey() { SendKeyEvent(sentKey, false); }

void ReleaseSentKey() {
  if (sentKey == 0) return;
  SendKeyEvent(sentKey, true);
  sentKey = 0;
}

void ReleaseAll() {
  ReleaseSentKey();
  heldW = heldA = heldS = heldD = 0;
  lastPressedKey = 0;
}

BYTE ResolveDirection() {
  BYTE vertical = ResolveAxis(kW, heldW, kS, heldS);
  BYTE horizontal = ResolveAxis(kA, heldA, kD, heldD);
  if (vertical == 0) return horizontal;
  if (horizontal == 0) return vertical;
  if (vertical == kW) return horizontal == kA ? 'Q' : 'E';
  return horizontal == kA ? 'Z' : 'C';
}

void OnDirectionKey(BYTE vk, bool down) {
  BYTE* held = HeldFlagOf(vk);
  if (!held) return;
  *held = down ? 1 : 0;
  if (down) lastPressedKey = vk;

  BYTE desired = ResolveDirection();
  if (desired != sentKey) {
    // The old key goes up before the new one goes down.
    ReleaseSentKey();
    sentKey = desired;
    if (sentKey != 0) PressSentKey();
    return;
  }
  // The keyboard's auto-repeat reaches the client as repeats of the resolved key.
  if (down && sentKey != 0) PressSentKey();
}

bool IsDirectionKeyHeld(BYTE vk) {
  const BYTE* held = HeldFlagOf(vk);
  return held && *held;
}
