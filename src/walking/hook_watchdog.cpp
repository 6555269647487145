#include "walking/hook_watchdog.h"

#include "common/diagnostics_log.h"
#include "common/launcher_state.h"
#include "common/message_window.h"
#include "walking/direction.h"
#include "walking/injected_key.h"
#include "walking/key_sender.h"
#include "walking/keyboard_hook.h"
#include "walking/keys.h"

namespace {

constexpr wchar_t kWitnessClass[] = L"VarnelHookWitness";
constexpr USHORT kGenericDesktopPage = 1;
constexpr USHORT kKeyboardUsage = 6;
constexpr UINT_PTR kGraceTimer = 1;
// The launcher has no window that takes keyboard or mouse input; the raw
// input is all a pump without QS_INPUT leaves waiting.
constexpr UINT kWakeMaskWithoutInput = QS_ALLINPUT & ~QS_INPUT;
// A live hook sees a key at most some 20 ms after its raw input, even behind
// another program's hook on a loaded machine; a quarter second leaves ample
// room and still ends a stuck walk quickly.
constexpr LONG kGracePeriodMs = 250;
// A hook the platform refuses to take back is asked for again at the next
// key, but no more often than this.
constexpr LONG kReinstallSpacingMs = 250;

// The hook gets a key with the time it was typed. Windows posts its raw input
// once every hook has had it, stamped with the clock then, which ticks every
// 15.6 ms: a tick or more later, the more so behind slow hooks. Wine posts it
// first, with the same time. So the hook has seen a key when it saw that key
// go the same way at most this much earlier. A key going the same way again
// that soon is at worst an auto-repeat, so a dropped hook is still caught:
// at the latest by the key after, this much later.
constexpr LONG kRawInputLagMs = 100;

// One key event of the player's: which key, which way, and when.
struct KeyEvent {
  BYTE vk = 0;
  bool up = false;
  DWORD time = 0;
};

struct Watch {
  HINSTANCE hookModule = nullptr;
  HWND witnessWindow = nullptr;
  // What the hook saw: the newest event of any kind, and the newest press
  // and release of each key the player made.
  DWORD hookEventTime = 0;
  DWORD hookKeyTimes[2][256] = {};
  // The newest key event and key-ups the witness reported.
  KeyEvent witnessedKey;
  DWORD witnessedKeyUpTimes[256] = {};
  // The oldest witnessed key the hook may not have seen yet.
  bool keyAwaited = false;
  KeyEvent awaitedKey;
  // Whether raw input came since the last check.
  bool inputSinceCheck = false;
  bool graceRunning = false;
  UINT wakeMask = QS_ALLINPUT;
  DWORD lastInstallTime = 0;
};
Watch watch;

// Event times wrap after 49 days; compares them as the platform does.
bool IsLaterEventTime(DWORD time, DWORD than) { return static_cast<LONG>(time - than) > 0; }
void KeepLaterEventTime(DWORD& newest, DWORD time) {
  if (IsLaterEventTime(time, newest)) newest = time;
}

LONG MsSince(DWORD eventTime, DWORD now) { return static_cast<LONG>(now - eventTime); }

bool HookHasSeenKey(const KeyEvent& key) {
  return MsSince(watch.hookKeyTimes[key.up][key.vk], key.time) <= kRawInputLagMs;
}

// A dropped hook sees nothing more. A hook some other program's hook called
// before it keeps a key from still sees what else happens, such as the keys
// that program injects instead.
bool HookHasSeen(const KeyEvent& key) {
  return !IsLaterEventTime(key.time, watch.hookEventTime) || HookHasSeenKey(key);
}

// Wine passes a key on without the hook once it gives up waiting; a key-up of
// a walking key missed that way would leave the walk behind. The walk injects
// those keys too, so only the player's own key events tell. A key-up from
// before the hook's latest press of that key is old news: under Wine, a hook
// called before ours (another launcher's) may have taken it, and its raw
// input came all the same.
bool MissedKeyUp(BYTE vk) {
  DWORD keyUpTime = watch.witnessedKeyUpTimes[vk];
  if (IsLaterEventTime(watch.hookKeyTimes[0][vk], keyUpTime)) return false;
  return IsDirectionKeyHeld(vk) && !HookHasSeenKey({vk, true, keyUpTime});
}

// Long enough before the moment given that no key after it matches.
DWORD NeverSince(DWORD now) { return now - kRawInputLagMs - 1; }

void ForgetHookEvents(DWORD now) {
  // Only keys after this moment tell whether the hook is alive.
  watch.hookEventTime = now;
  for (auto& times : watch.hookKeyTimes)
    for (DWORD& keyTime : times) keyTime = NeverSince(now);
  watch.keyAwaited = false;
  watch.lastInstallTime = now;
}

// The awaited key stays awaited until the hook has seen it; then the given
// key takes its place. Keys between the two may be unseen too; waiting from
// the later one only ever waits longer.
void AwaitUnlessSeen(const KeyEvent& key) {
  if (watch.keyAwaited && !HookHasSeen(watch.awaitedKey)) return;
  watch.keyAwaited = !HookHasSeen(key);
  watch.awaitedKey = key;
}

// One-shot: with no keys there is nothing to check and no reason to wake.
// While it runs, keys leave their raw input waiting for it: it reads them in
// one batch, so typing and walking cost the launcher no wake-up per key.
void CheckAfter(LONG delayMs) {
  watch.inputSinceCheck = false;
  watch.graceRunning =
      SetTimer(watch.witnessWindow, kGraceTimer, static_cast<UINT>(delayMs < 1 ? 1 : delayMs), nullptr) != 0;
  watch.wakeMask = watch.graceRunning ? kWakeMaskWithoutInput : QS_ALLINPUT;
}

void EndGracePeriod() {
  KillTimer(watch.witnessWindow, kGraceTimer);
  watch.graceRunning = false;
  watch.wakeMask = QS_ALLINPUT;
}

void ReadWaitingRawInput() {
  MSG message;
  while (PeekMessageW(&message, watch.witnessWindow, WM_INPUT, WM_INPUT, PM_REMOVE)) DispatchMessageW(&message);
}

bool MayInstallAgain(DWORD now) { return MsSince(watch.lastInstallTime, now) >= kReinstallSpacingMs; }

void ReinstallKeyboardHook(DWORD now) {
  LogDiagnostic(keyboardHook ? "keyboard hook lost: a key went unseen; hooking again"
                             : "hooking again after a refusal");
  // Nothing we injected may stay down while the hook is away.
  ReleaseAll();
  SendKeysNow();
  RemoveKeyboardHook();
  ForgetHookEvents(now);
  InstallKeyboardHook(watch.hookModule);
}

// Only what the player types counts: injected input comes without a device
// on Windows. Wine gives it a device, and other programs' keys usually come
// without a scan code; ours may carry one, but always carry our mark.
bool IsPlayersKey(const RAWINPUT& raw) {
  return raw.header.dwType == RIM_TYPEKEYBOARD && raw.header.hDevice && raw.data.keyboard.MakeCode &&
         raw.data.keyboard.ExtraInformation != kInjectedKeyMark;
}

void OnWitnessedKey(HRAWINPUT input) {
  RAWINPUT raw{};
  UINT size = sizeof raw;
  if (GetRawInputData(input, RID_INPUT, &raw, &size, sizeof raw.header) == static_cast<UINT>(-1)) return;
  if (IsPlayersKey(raw)) {
    KeyEvent key{EitherSideCode(raw.data.keyboard.VKey), (raw.data.keyboard.Flags & RI_KEY_BREAK) != 0,
                 static_cast<DWORD>(GetMessageTime())};
    if (IsLaterEventTime(key.time, watch.witnessedKey.time)) watch.witnessedKey = key;
    if (key.up) KeepLaterEventTime(watch.witnessedKeyUpTimes[key.vk], key.time);
    AwaitUnlessSeen(key);
    if (!keyboardHook) {
      if (MayInstallAgain(key.time)) ReinstallKeyboardHook(key.time);
      return;
    }
  }
  // Any raw input starts a batch, the walk's own keys included (Windows makes
  // raw input of what the hook passes on), so the next keys wait to be read
  // with it instead of waking the launcher one by one.
  watch.inputSinceCheck = true;
  if (keyboardHook && !watch.graceRunning) CheckAfter(kGracePeriodMs);
}

void OnGracePeriodOver() {
  auto now = static_cast<DWORD>(GetMessageTime());
  ReadWaitingRawInput();
  EndGracePeriod();
  AwaitUnlessSeen(watch.witnessedKey);
  if (watch.keyAwaited && MsSince(watch.awaitedKey.time, now) >= kGracePeriodMs) return ReinstallKeyboardHook(now);

  // Each key still on its way through hooks called before ours gets its grace
  // period from the moment it was typed.
  LONG waitMs = watch.keyAwaited ? kGracePeriodMs - MsSince(watch.awaitedKey.time, now) : kGracePeriodMs;
  bool missedKeyUp = false;
  for (BYTE vk : kDirectionKeys) {
    if (!MissedKeyUp(vk)) continue;
    LONG left = kGracePeriodMs - MsSince(watch.witnessedKeyUpTimes[vk], now);
    if (left <= 0)
      missedKeyUp = true;
    else if (left < waitMs)
      waitMs = left;
  }
  // The player let go of the key; the walk goes with it.
  if (missedKeyUp) {
    LogDiagnostic("walk released: its key-up went past the hook");
    ReleaseAll();
    SendKeysNow();
  }
  // A key-up still awaited came after the last check, and so did any other
  // key: the next batch is read by the time its grace period is over.
  if (watch.keyAwaited || watch.inputSinceCheck) CheckAfter(waitMs);
}

void CloseWitnessWindow() {
  EndGracePeriod();
  CloseMessageWindow(watch.witnessWindow, kWitnessClass, watch.hookModule);
  watch.witnessWindow = nullptr;
}

}  // namespace

void StartHookWatchdog(HINSTANCE instance) {
  watch.hookModule = instance;
  DWORD now = GetTickCount();
  ForgetHookEvents(now);
  watch.witnessedKey = {0, false, now};
  for (DWORD& keyTime : watch.witnessedKeyUpTimes) keyTime = NeverSince(now);
  watch.inputSinceCheck = watch.graceRunning = false;

  watch.witnessWindow = OpenMessageWindow(kWitnessClass, HookWatchdogProc, instance);
  if (!watch.witnessWindow) return;
  RAWINPUTDEVICE keyboard{kGenericDesktopPage, kKeyboardUsage, RIDEV_INPUTSINK, watch.witnessWindow};
  if (!RegisterRawInputDevices(&keyboard, 1, sizeof keyboard)) CloseWitnessWindow();
}

void StopHookWatchdog() {
  if (!watch.witnessWindow) return;
  RAWINPUTDEVICE keyboard{kGenericDesktopPage, kKeyboardUsage, RIDEV_REMOVE, nullptr};
  RegisterRawInputDevices(&keyboard, 1, sizeof keyboard);
  CloseWitnessWindow();
}

LRESULT CALLBACK HookWatchdogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INPUT) OnWitnessedKey(reinterpret_cast<HRAWINPUT>(lParam));
  if (message == WM_TIMER && wParam == kGraceTimer) {
    OnGracePeriodOver();
    return 0;
  }
  // Raw input also needs the default handling, which frees it.
  return DefWindowProcW(window, message, wParam, lParam);
}

void NoteHookEvent(const KBDLLHOOKSTRUCT& event, WPARAM message) {
  // The walk injects W/A/S/D too; only the player's own keys count per key.
  if (!(event.flags & LLKHF_INJECTED)) {
    KeepLaterEventTime(watch.hookEventTime, event.time);
    KeepLaterEventTime(watch.hookKeyTimes[IsKeyUpMessage(message)][EitherSideCode(event.vkCode)], event.time);
    return;
  }
  // An injected key's time is whatever its sender chose, days ahead maybe;
  // that would count every later key as seen. It counts up to now.
  DWORD now = GetTickCount();
  KeepLaterEventTime(watch.hookEventTime, IsLaterEventTime(event.time, now) ? now : event.time);
}

UINT MessagesToWakeFor() { return watch.wakeMask; }

void ResetHookWatchdog() { watch = {}; }
