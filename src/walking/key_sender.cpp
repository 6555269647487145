#include "walking/key_sender.h"

#include "common/diagnostics_log.h"
#include "common/message_window.h"
#include "walking/direction.h"
#include "walking/injection_queue.h"
#include "walking/keyboard_hook.h"

namespace {

constexpr wchar_t kSenderClass[] = L"VarnelKeySender";
constexpr UINT kSendQueuedKeys = WM_APP;
constexpr UINT_PTR kGuardTimer = 1;
// The foreground can leave the client with no key typed (another program
// takes it, the secure desktop comes up), and a key-up can be refused while a
// window the launcher may not reach is in front. While the client may hold a
// key of ours, the launcher looks this often; otherwise never.
constexpr UINT kGuardIntervalMs = 50;

struct Sender {
  HINSTANCE module = nullptr;
  HWND window = nullptr;
  bool fromTheHook = false;
  bool sendPosted = false;
  bool guardRunning = false;
};
Sender sender;

// Wine waits 2 s for a hook and never removes one, so a hook call that lasts
// has nothing to fear there. Its keyboard input comes from other programs'
// threads, each waiting for our hook call: keys sent from inside it stay
// ahead of the keys typed after. Sent later, from the message loop, they
// race with those, and a key typed meanwhile can reach the game first.
bool WineServesTheKeyboard() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool SendsFromTheLoop() { return sender.window && !sender.fromTheHook; }

bool ClientMayHoldAKeyOfOurs() { return sentKey != 0 || KeysQueued(); }

void GuardWhileAKeyIsHeld() {
  bool wanted = sender.window && ClientMayHoldAKeyOfOurs();
  if (wanted == sender.guardRunning) return;
  if (wanted) {
    sender.guardRunning = SetTimer(sender.window, kGuardTimer, kGuardIntervalMs, nullptr) != 0;
    return;
  }
  KillTimer(sender.window, kGuardTimer);
  sender.guardRunning = false;
}

void OnGuardTick() {
  // Whatever took the foreground, the client no longer gets our keys: the
  // walk ends, and back in the client it starts from nothing held.
  if (sentKey != 0 && !IsClientForeground()) {
    LogDiagnostic("walk released: the client lost the foreground");
    ReleaseAll();
  }
  SendKeysNow();
}

}  // namespace

void StartKeySender(HINSTANCE instance) {
  sender.module = instance;
  sender.fromTheHook = WineServesTheKeyboard();
  sender.window = OpenMessageWindow(kSenderClass, KeySenderProc, instance);
}

void StopKeySender() {
  SendQueuedKeys();
  if (!sender.window) return;
  CloseMessageWindow(sender.window, kSenderClass, sender.module);
  sender = {};
}

void SendKeysNow() {
  SendQueuedKeys();
  GuardWhileAKeyIsHeld();
}

void SendKeysAfterHook() {
  if (!KeysQueued() || sender.sendPosted) return;
  sender.sendPosted = SendsFromTheLoop() && PostMessageW(sender.window, kSendQueuedKeys, 0, 0);
  if (!sender.sendPosted) SendKeysNow();
}

LRESULT CALLBACK KeySenderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kSendQueuedKeys) {
    sender.sendPosted = false;
    SendKeysNow();
    return 0;
  }
  if (message == WM_TIMER && wParam == kGuardTimer) {
    OnGuardTick();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void ResetKeySender() { sender = {}; }
