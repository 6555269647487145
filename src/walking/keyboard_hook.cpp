#include "walking/keyboard_hook.h"

#include "common/launcher_state.h"
#include "walking/direction.h"
#include "walking/pause_key.h"

namespace {

bool IsModifierKey(DWORD vk) {
  return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || (vk >= VK_LSHIFT && vk <= VK_RMENU);
}

bool IsHeldNow(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

bool IsModifierHeld() { return IsHeldNow(VK_CONTROL) || IsHeldNow(VK_MENU) || IsHeldNow(VK_SHIFT); }

LRESULT PassOn(WPARAM message, LPARAM event) { return CallNextHookEx(keyboardHook, HC_ACTION, message, event); }

LRESULT OnDirectionEvent(BYTE vk, WPARAM message, LPARAM event) {
  // Paused, the player types: every key reaches its window as pressed.
  if (walkingPaused) return PassOn(message, event);
  // Ctrl+W, Alt+D and the like belong to the client untouched, and walking
  // stops whenever the keys go anywhere but the client.
  if (!IsClientForeground() || IsModifierHeld()) {
    ReleaseAll();
    return PassOn(message, event);
  }
  bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
  if (!down && !up) return 1;
  // A key-up whose key-down went past us (to another window, or with a
  // modifier held) must follow it, or the receiver keeps the key down.
  if (up && !IsDirectionKeyHeld(vk)) return PassOn(message, event);
  OnDirectionKey(vk, down);
  return 1;
}

}  // namespace

bool IsClientForeground() {
  HWND foreground = GetForegroundWindow();
  if (!foreground) return false;
  DWORD processId = 0;
  GetWindowThreadProcessId(foreground, &processId);
  return processId != 0 && processId == clientProcessId;
}

bool InstallKeyboardHook(HINSTANCE instance) {
  // Only keys after this moment tell whether this hook is alive.
  keyboardHookEventTime = GetTickCount();
  for (DWORD& keyTime : keyboardHookKeyTimes) keyTime = keyboardHookEventTime;
  keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, instance, 0);
  return keyboardHook != nullptr;
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM message, LPARAM event) {
  if (code != HC_ACTION) return CallNextHookEx(keyboardHook, code, message, event);
  const auto* record = reinterpret_cast<const KBDLLHOOKSTRUCT*>(event);
  // Tells the hook watchdog what this hook has seen.
  KeepLaterEventTime(keyboardHookEventTime, record->time);
  if (!smartWalkingEnabled) return PassOn(message, event);

  // Our own injected keys come straight back through this hook; let them pass untouched.
  if (record->flags & LLKHF_INJECTED) return PassOn(message, event);
  KeepLaterEventTime(keyboardHookKeyTimes[record->vkCode & 0xFF], record->time);

  DWORD vk = record->vkCode;
  bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  if (down && IsModifierKey(vk)) {
    ReleaseAll();
    return PassOn(message, event);
  }
  if (IsDirectionKey(vk)) return OnDirectionEvent(static_cast<BYTE>(vk), message, event);

  bool inClient = IsClientForeground();
  if (!inClient) ReleaseAll();
  if (vk == pauseKey) OnPauseKey(message, inClient);
  return PassOn(message, event);
}
