#include "walking/hook_watchdog.h"

#include "common/launcher_state.h"
#include "walking/direction.h"
#include "walking/keyboard_hook.h"

namespace {

constexpr wchar_t kWitnessClass[] = L"VarnelHookWitness";
constexpr USHORT kGenericDesktopPage = 1;
constexpr USHORT kKeyboardUsage = 6;
constexpr UINT_PTR kGraceTimer = 1;
// A live hook sees each event within a millisecond of its raw input; a
// quarter second leaves ample room and still ends a stuck walk quickly.
constexpr UINT kGracePeriodMs = 250;
// A hook the platform refuses to take back is asked for again at the next
// key, but no more often than this.
constexpr DWORD kReinstallSpacingMs = 250;

HINSTANCE hookModule = nullptr;
HWND witnessWindow = nullptr;
DWORD witnessedEventTime = 0;  // the newest event the witness reported
DWORD awaitedEventTime = 0;    // the event the grace timer waits for the hook to see
bool graceRunning = false;
DWORD lastInstallTime = 0;

bool HookHasSeen(DWORD eventTime) { return !IsLaterEventTime(eventTime, keyboardHookEventTime); }

bool MayInstallAgain(DWORD eventTime) {
  return static_cast<LONG>(eventTime - lastInstallTime) >= static_cast<LONG>(kReinstallSpacingMs);
}

void StartGracePeriod(DWORD eventTime) {
  awaitedEventTime = eventTime;
  graceRunning = SetTimer(witnessWindow, kGraceTimer, kGracePeriodMs, nullptr) != 0;
}

void ReinstallKeyboardHook(DWORD eventTime) {
  // Nothing we injected may stay down while the hook is away.
  ReleaseAll();
  if (keyboardHook) UnhookWindowsHookEx(keyboardHook);
  keyboardHook = nullptr;
  lastInstallTime = eventTime;
  InstallKeyboardHook(hookModule);
}

void OnWitnessedKey(HRAWINPUT input) {
  RAWINPUTHEADER header{};
  UINT size = sizeof header;
  if (GetRawInputData(input, RID_HEADER, &header, &size, sizeof header) != sizeof header) return;
  // Injected input comes without a device; only what the player types counts.
  if (header.dwType != RIM_TYPEKEYBOARD || !header.hDevice) return;
  auto eventTime = static_cast<DWORD>(GetMessageTime());
  if (IsLaterEventTime(eventTime, witnessedEventTime)) witnessedEventTime = eventTime;

  if (!keyboardHook) {
    if (MayInstallAgain(eventTime)) ReinstallKeyboardHook(eventTime);
    return;
  }
  if (graceRunning || HookHasSeen(eventTime)) return;
  StartGracePeriod(eventTime);
}

void OnGracePeriodOver() {
  KillTimer(witnessWindow, kGraceTimer);
  graceRunning = false;
  if (!HookHasSeen(awaitedEventTime)) return ReinstallKeyboardHook(awaitedEventTime);
  // Keys witnessed while the timer ran get a grace period of their own.
  if (!HookHasSeen(witnessedEventTime)) StartGracePeriod(witnessedEventTime);
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
  witnessedEventTime = keyboardHookEventTime;
  graceRunning = false;

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = HookWatchdogProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWitnessClass;
  if (!RegisterClassExW(&windowClass)) return;
  // Message-only: never shown, never enumerated, no taskbar entry.
  witnessWindow =
      CreateWindowExW(0, kWitnessClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
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
