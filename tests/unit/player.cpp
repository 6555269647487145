// The player's desktop; free of GoogleTest so the fuzz targets share it.
#include "player.h"

#include "common/diagnostics_log.h"
#include "common/launcher_state.h"
#include "common/message_pump.h"
#include "walking/chat_mode.h"
#include "walking/direction.h"
#include "walking/hook_watchdog.h"
#include "walking/injected_key.h"
#include "walking/injection_queue.h"
#include "walking/key_sender.h"
#include "walking/pause_key.h"

namespace player {
namespace {
HWND client = nullptr;
HWND other = nullptr;
HWND elevated = nullptr;
HWND ghost = nullptr;
}  // namespace

void ResetLauncher() {
  standin::Reset();
  ResetLauncherState();
  ResetDiagnosticsLog();
  ResetDirection();
  ResetInjectionQueue();
  ResetKeySender();
  ResetInjectedKey();
  ResetPauseKey();
  ResetChatMode();
  ResetKeyboardHook();
  ResetHookWatchdog();
}

void SetUpDesktop(HOOKPROC hook, standin::InputOrder order) {
  ResetLauncher();
  standin::SetInputOrder(order);
  clientProcessId = kClientProcess;
  client = standin::AddWindow(kClientProcess, L"Client");
  other = standin::AddWindow(kOtherProcess, L"Notes");
  // Windows that take the keyboard from the launcher while in front: a
  // program run as administrator, and the system's ghost of a hung client.
  elevated = standin::AddWindow(kElevatedProcess, L"Administrator: Command Prompt");
  standin::SetBlindsLauncher(elevated, true);
  ghost = standin::AddWindow(kGhostProcess, L"Client (Not Responding)");
  standin::SetBlindsLauncher(ghost, true);
  standin::SetForeground(client);
  keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, hook, nullptr, 0);
  StartKeySender(nullptr);
}

void Pump() { PumpWaitingMessages(MessagesToWakeFor()); }

HWND ClientWindow() { return client; }
HWND OtherWindow() { return other; }
HWND ElevatedWindow() { return elevated; }
HWND GhostWindow() { return ghost; }

}  // namespace player
