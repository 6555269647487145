#include "walking/hook_watchdog.h"

#include "common/launcher_state.h"
#include "common/message_pump.h"
#include "walking/direction.h"
#include "walking/keyboard_hook.h"

namespace {

constexpr wchar_t kWitnessClass[] = L"VarnelHookWitness";
constexpr USHORT kGenericDesktopPage = 1;
constexpr USHORT kKeyboardUsage = 6;
constexpr UINT_PTR kGraceTimer = 1;
// The launcher has no window that takes keyboard or mouse input; the raw
// input is all a pump without QS_INPUT leaves waiting.
constexpr UINT kWakeMaskWithoutInput = QS_ALLINPUT & ~QS_INPUT;
constexpr BYTE kWalkingKeys[] = {'W', 'A', 'S', 'D'};
// A live hook sees a key at most some 20 ms after its raw input, even behind
// another program's hook on a loaded machine; a quarter second leaves ample
// room and still ends a stuck walk quickly.
constexpr LONG kGracePeriodMs = 250;
// A hook the platform refuses to take back is asked for again at the next
// key, but no more often than this.
constexpr LONG kReinstallSpacingMs = 250;

HINSTANCE hookModule = nullptr;
HWND witnessWindow = nullptr;
// The newest key event and key-ups the witness reported.
DWORD witnessedEventTime = 0;
DWORD witnessedKeyUpTimes[256] = {};
// The oldest witnessed key the hook may not have seen yet.
bool keyAwaited = false;
DWORD awaitedEventTime = 0;
// Whether the player typed since the last check.
bool keysSinceCheck = false;
bool graceRunning = false;
DWORD lastInstallTime = 0;

// A dropped hook sees nothing more. A hook some other program's hook called
// before it keeps a key from still sees what else happens, such as the keys
// that program injects instead.
bool HookHasSeen(DWORD eventTime) { return !IsLaterEventTime(eventTime, keyboardHookEventTime); }

// Wine passes a key on without the hook once it gives up waiting; a key-up of
// a walking key missed that way would leave the walk behind. The walk injects
// those keys too, so only the player's own key events tell.
bool MissedKeyUp(BYTE vk) {
  return IsDirectionKeyHeld(vk) && IsLaterEventTime(witnessedKeyUpTimes[vk], keyboardHookKeyTimes[vk]);
}

LONG MsSince(DWORD eventTime, DWORD now) { return static_cast<LONG>(now - eventTime); }

// The awaited key stays awaited until the hook has seen it; then the given
// key takes its place. Keys between the two may be unseen too; waiting from
// the later one only ever waits longer.
void AwaitUnlessSeen(DWORD eventTime) {
  if (keyAwaited && !HookHasSeen(awaitedEventTime)) return;
  keyAwaited = !HookHasSeen(eventTime);
  awaitedEventTime = eventTime;
}

// One-shot: with no keys there is nothing to check and no reason to wake.
// While it runs, keys leave their raw input waiting for it: it reads them in
// one batch, so typing and walking cost the launcher no wake-up per key.
void CheckAfter(LONG delayMs) {
  keysSinceCheck = false;
  graceRunning = SetTimer(witnessWindow, kGraceTimer, static_cast<UINT>(delayMs < 1 ? 1 : delayMs), nullptr) != 0;
  pumpWakeMask = graceRunning ? kWakeMaskWithoutInput : QS_ALLINPUT;
}

void EndGracePeriod() {
  KillTimer(witnessWindow, kGraceTimer);
  graceRunning = false;
  pumpWakeMask = QS_ALLINPUT;
}

void ReadWaitingRawInput() {
  MSG message;
  while (PeekMessageW(&message, witnessWindow, WM_INPUT, WM_INPUT, PM_REMOVE)) DispatchMessageW(&message);
}

bool MayInstallAgain(DWORD now) { return MsSince(lastInstallTime, now) >= kReinstallSpacingMs; }

void ReinstallKeyboardHook(DWORD now) {
  // Nothing we injected may stay down while the hook is away.
  ReleaseAll();
  if (keyboardHook) UnhookWindowsHookEx(keyboardHook);
  keyboardHook = nullptr;
  keyAwaited = false;
  lastInstallTime = now;
  InstallKeyboardHook(hookModule);
}

void OnWitnessedKey(HRAWINPUT input) {
  RAWINPUT raw{};
  UINT size = sizeof raw;
  if (GetRawInputData(input, RID_INPUT, &raw, &size, sizeof raw.header) == static_cast<UINT>(-1)) return;
  // Only what the player types counts: injected input comes without a device
  // on Windows, and without a scan code under Wine.
  if (raw.header.dwType != RIM_TYPEKEYBOARD || !raw.header.hDevice || !raw.data.keyboard.MakeCode) return;
  auto eventTime = static_cast<DWORD>(GetMessageTime());
  KeepLaterEventTime(witnessedEventTime, eventTime);
  if (raw.data.keyboard.Flags & RI_KEY_BREAK)
    KeepLaterEventTime(witnessedKeyUpTimes[raw.data.keyboard.VKey & 0xFF], eventTime);
  keysSinceCheck = true;
  AwaitUnlessSeen(eventTime);

  if (!keyboardHook) {
    if (MayInstallAgain(eventTime)) ReinstallKeyboardHook(eventTime);
    return;
  }
  if (!graceRunning) CheckAfter(kGracePeriodMs);
}

void OnGracePeriodOver() {
  auto now = static_cast<DWORD>(GetMessageTime());
  ReadWaitingRawInput();
  EndGracePeriod();
  AwaitUnlessSeen(witnessedEventTime);
  if (keyAwaited && MsSince(awaitedEventTime, now) >= kGracePeriodMs) return ReinstallKeyboardHook(now);

  // Each key still on its way through hooks called before ours gets its grace
  // period from the moment it was typed.
  LONG waitMs = keyAwaited ? kGracePeriodMs - MsSince(awaitedEventTime, now) : kGracePeriodMs;
  bool missedKeyUp = false;
  for (BYTE vk : kWalkingKeys) {
    if (!MissedKeyUp(vk)) continue;
    LONG left = kGracePeriodMs - MsSince(witnessedKeyUpTimes[vk], now);
    if (left <= 0)
      missedKeyUp = true;
    else if (left < waitMs)
      waitMs = left;
  }
  // The player let go of the key; the walk goes with it.
  if (missedKeyUp) ReleaseAll();
  // A key-up still awaited came after the last check, and so did any other
  // key: the next batch is read by the time its grace period is over.
  if (keyAwaited || keysSinceCheck) CheckAfter(waitMs);
}

void CloseWitnessWindow() {
  EndGracePeriod();
  DestroyWindow(witnessWindow);
  UnregisterClassW(kWitnessClass, hookModule);
  witnessWindow = nullptr;
}

}  // namespace

void StartHookWatchdog(HINSTANCE instance) {
  hookModule = instance;
  witnessedEventTime = lastInstallTime = keyboardHookEventTime;
  for (DWORD& keyTime : witnessedKeyUpTimes) keyTime = keyboardHookEventTime;
  keyAwaited = keysSinceCheck = graceRunning = false;

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = HookWatchdogProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWitnessClass;
  if (!RegisterClassExW(&windowClass)) return;
  // Message-only: never shown, never enumerated, no taskbar entry.
  witnessWindow = CreateWindowExW(0, kWitnessClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (!witnessWindow) {
    UnregisterClassW(kWitnessClass, instance);
    return;
  }
  RAWINPUTDEVICE keyboard{kGenericDesktopPage, kKeyboardUsage, RIDEV_INPUTSINK, witnessWindow};
  if (!RegisterRawInputDevices(&keyboard, 1, sizeof keyboard)) CloseWitnessWindow();
}

void StopHookWatchdog() {
  if (!witnessWindow) return;
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
