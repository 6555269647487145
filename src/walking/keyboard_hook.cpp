#include "walking/keyboard_hook.h"

#include "common/diagnostics_log.h"
#include "common/launcher_state.h"
#include "walking/chat_mode.h"
#include "walking/direction.h"
#include "walking/hook_watchdog.h"
#include "walking/injection_queue.h"
#include "walking/key_sender.h"
#include "walking/keys.h"
#include "walking/pause_key.h"

namespace {

// The Windows keys the hook saw go down and not yet up.
struct WindowsKeysSeen {
  bool left = false;
  bool right = false;
};
WindowsKeysSeen windowsKeysSeenDown;

bool IsHeldNow(int vk) {
  // A modifier typed as the walk's keys went out waits in their queue: it is
  // not in the key state yet.
  int waiting = WaitingTypedKeyState(static_cast<BYTE>(vk));
  if (waiting >= 0) return waiting == 1;
  return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

// Asked of the platform only while the hook saw the key go down, so every
// other key costs no extra call; asked then, because a key-up can happen
// where no hook sees it, as on the lock screen after Win+L.
bool IsWindowsKeyHeld(bool& seenDown, int vk) {
  if (seenDown && !IsHeldNow(vk)) seenDown = false;
  return seenDown;
}

bool IsModifierHeld() {
  return IsHeldNow(VK_CONTROL) || IsHeldNow(VK_MENU) || IsHeldNow(VK_SHIFT) ||
         IsWindowsKeyHeld(windowsKeysSeenDown.left, VK_LWIN) || IsWindowsKeyHeld(windowsKeysSeenDown.right, VK_RWIN);
}

void NoteWindowsKey(DWORD vk, WPARAM message) {
  if (!IsKeyDownMessage(message) && !IsKeyUpMessage(message)) return;
  bool down = IsKeyDownMessage(message);
  if (vk == VK_LWIN) windowsKeysSeenDown.left = down;
  if (vk == VK_RWIN) windowsKeysSeenDown.right = down;
}

LRESULT PassOn(WPARAM message, LPARAM event) {
  // A key passed on must not overtake the walk's keys decided before it. A
  // key typed as they went out reaches this hook inside their SendInput (from
  // the message loop, or under Wine 10 from the hook), where passing it on
  // would put it ahead of them: it goes out again behind them instead.
  // Otherwise they go out first, from here, such as the key-up of the walk a
  // modifier just ended; a key typed as they go out must then come behind
  // this one, which goes out with them in that case.
  const auto& record = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(event);
  bool keyEvent = IsKeyDownMessage(message) || IsKeyUpMessage(message);
  if (SendingKeys() && keyEvent) {
    QueueTypedKey(record, IsKeyUpMessage(message));
    return 1;
  }
  if (KeysQueued()) {
    if (keyEvent) QueuePassingKey(record, IsKeyUpMessage(message));
    SendKeysNow();
    if (keyEvent && !PassingKeyLeftToPassOn()) return 1;
  }
  return CallNextHookEx(keyboardHook, HC_ACTION, message, event);
}

// Keys now go to another window: a walk still held ends here.
void ReleaseForOtherWindow() {
  if (sentKey) LogDiagnostic("walk released: another window is in front");
  ReleaseAll();
}

LRESULT OnDirectionEvent(BYTE vk, WPARAM message, LPARAM event) {
  // Paused, the player types: every key reaches its window as pressed.
  if (walkingPaused) return PassOn(message, event);
  // Ctrl+W, Win+D and the like belong to the client untouched, and walking
  // stops whenever the keys go anywhere but the client.
  if (!IsClientForeground()) {
    ReleaseForOtherWindow();
    return PassOn(message, event);
  }
  if (IsModifierHeld()) {
    ReleaseAll();
    return PassOn(message, event);
  }
  bool down = IsKeyDownMessage(message);
  bool up = IsKeyUpMessage(message);
  if (!down && !up) return 1;
  // A key-up whose key-down went past us (to another window, or with a
  // modifier held) must follow it, or the receiver keeps the key down.
  if (up && !IsDirectionKeyHeld(vk)) return PassOn(message, event);
  OnDirectionKey(vk, down);
  return 1;
}

LRESULT FilterPlayersKey(const KBDLLHOOKSTRUCT& record, WPARAM message, LPARAM event) {
  if (!smartWalkingEnabled) return PassOn(message, event);
  DWORD vk = record.vkCode;
  NoteWindowsKey(vk, message);
  if (IsKeyDownMessage(message) && IsModifierKey(vk)) {
    ReleaseAll();
    return PassOn(message, event);
  }
  if (IsDirectionKey(vk)) return OnDirectionEvent(static_cast<BYTE>(vk), message, event);

  bool inClient = IsClientForeground();
  if (!inClient) ReleaseForOtherWindow();
  if (vk == pauseKey)
    OnPauseKey(message, inClient);
  else if (IsChatKey(vk))
    OnChatKey(vk, message, inClient && !IsModifierHeld());
  return PassOn(message, event);
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
  keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, instance, 0);
  LogDiagnostic(keyboardHook ? "keyboard hook installed" : "keyboard hook refused: error %u", GetLastError());
  return keyboardHook != nullptr;
}

void RemoveKeyboardHook() {
  if (keyboardHook) UnhookWindowsHookEx(keyboardHook);
  keyboardHook = nullptr;
}

void ResetKeyboardHook() {
  keyboardHook = nullptr;
  windowsKeysSeenDown = {};
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM message, LPARAM event) {
  if (code != HC_ACTION) return CallNextHookEx(keyboardHook, code, message, event);
  const auto* record = reinterpret_cast<const KBDLLHOOKSTRUCT*>(event);
  NoteHookEvent(*record, message);
  // Our own injected keys come straight back through this hook; let them pass untouched.
  if (record->flags & LLKHF_INJECTED) return CallNextHookEx(keyboardHook, HC_ACTION, message, event);
  LRESULT result = FilterPlayersKey(*record, message, event);
  // The walk's keys go out once this call has returned, so that it never
  // waits for other programs' hooks.
  SendKeysAfterHook();
  return result;
}
