#include "walking/hook_watchdog.h"

#include "common/launcher_state.h"
#include "walking/direction.h"
#include "walking/keyboard_hook.h"

namespace {

constexpr wchar_t kWitnessClass[] = L"VarnelHookWitness";
constexpr USHORT kGenericDesktopPage = 1;
constexpr USHORT kKeyboardUsage = 6;
constexpr UINT_PTR kGraceTimer = 1;
constexpr BYTE kWalkingKeys[] = {'W', 'A', 'S', 'D'};
// A live hook sees a key at most some 20 ms after its raw input, even behind
// another program's hook on a loaded machine; a quarter second leaves ample
// room and still ends a stuck walk quickly.
constexpr UINT kGracePeriodMs = 250;
// A hook the platform refuses to take back is asked for again at the next
// key, but no more often than this.
constexpr DWORD kReinstallSpacingMs = 250;

HINSTANCE hookModule = nullptr;
HWND witnessWindow = nullptr;
// The newest key event and key-ups the witness reported, and those the running
// grace period waits for the hook to have seen.
DWORD witnessedEventTime = 0;
DWORD witnessedKeyUpTimes[256] = {};
DWORD awaitedEventTime = 0;
DWORD awaitedKeyUpTimes[256] = {};
bool graceRunning = false;
DWORD lastInstallTime = 0;

// A dropped hook sees nothing more. A hook some other program's hook called
// before it keeps a key from still sees what else happens, such as the keys
// that program injects instead.
bool HookHasSeen(DWORD eventTime) { return !IsLaterEventTime(eventTime, keyboardHookEventTime); }

// Wine passes a key on without the hook once it gives up waiting; a key-up of
// a walking key missed that way would leave the walk behind. The walk injects
// those keys too, so only the player's own key events tell.
bool MissedKeyUpOfHeldKey(const DWORD (&keyUpTimes)[256]) {
  for (BYTE vk : kWalkingKeys)
    if (IsDirectionKeyHeld(vk) && IsLaterEventTime(keyUpTimes[vk], keyboardHookKeyTimes[vk])) return true;
  return false;
}

bool AllWitnessedKeysSeen() { return HookHasSeen(witnessedEventTime) && !MissedKeyUpOfHeldKey(witnessedKeyUpTimes); }

// One-shot: with no keys there is nothing to check and no reason to wake.
void AwaitWitnessedKeys(UINT delayMs) {
  awaitedEventTime = witnessedEventTime;
  for (int vk = 0; vk < 256; ++vk) awaitedKeyUpTimes[vk] = witnessedKeyUpTimes[vk];
  graceRunning = SetTimer(witnessWindow, kGraceTimer, delayMs, nullptr) != 0;
}

bool MayInstallAgain(DWORD now) {
  return static_cast<LONG>(now - lastInstallTime) >= static_cast<LONG>(kReinstallSpacingMs);
}

void ReinstallKeyboardHook(DWORD now) {
  // Nothing we injected may stay down while the hook is away.
  ReleaseAll();
  if (keyboardHook) UnhookWindowsHookEx(keyboardHook);
  keyboardHook = nullptr;
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

  if (!keyboardHook) {
    if (MayInstallAgain(eventTime)) ReinstallKeyboardHook(eventTime);
    return;
  }
  if (graceRunning || AllWitnessedKeysSeen()) return;
  AwaitWitnessedKeys(kGracePeriodMs);
}

void OnGracePeriodOver() {
  KillTimer(witnessWindow, kGraceTimer);
  graceRunning = false;
  auto now = static_cast<DWORD>(GetMessageTime());
  if (!HookHasSeen(awaitedEventTime)) return ReinstallKeyboardHook(now);
  // The player let go of the key; the walk goes with it.
  if (MissedKeyUpOfHeldKey(awaitedKeyUpTimes)) ReleaseAll();
  if (AllWitnessedKeysSeen()) return;
  // Keys witnessed meanwhile may still be on their way through hooks called
  // before ours: each gets its grace period from the moment it was typed.
  auto waited = static_cast<LONG>(now - witnessedEventTime);
  AwaitWitnessedKeys(
      waited < 0 || waited >= static_cast<LONG>(kGracePeriodMs) ? 1u : kGracePeriodMs - static_cast<UINT>(waited));
}

void CloseWitnessWindow() {
  // The grace timer goes with its window.
  DestroyWindow(witnessWindow);
  UnregisterClassW(kWitnessClass, hookModule);
  witnessWindow = nullptr;
  graceRunning = false;
}

}  // namespace

void StartHookWatchdog(HINSTANCE instance) {
  hookModule = instance;
  witnessedEventTime = lastInstallTime = keyboardHookEventTime;
  for (DWORD& keyTime : witnessedKeyUpTimes) keyTime = keyboardHookEventTime;
  graceRunning = false;

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
