// The player's desktop; free of GoogleTest so the fuzz targets share it.
#include "player.h"

#include "common/launcher_state.h"
#include "common/message_pump.h"
#include "walking/chat_mode.h"
#include "walking/direction.h"
#include "walking/hook_watchdog.h"
#include "walking/injection_queue.h"
#include "walking/pause_key.h"

namespace player {
namespace {
HWND client = nullptr;
HWND other = nullptr;
}  // namespace

void ResetLauncher() {
  standin::Reset();
  ResetLauncherState();
  ResetDirection();
  ResetInjectionQueue();
  ResetPauseKey();
  ResetChatMode();
  ResetKeyboardHook();
  ResetHookWatchdog();
}

void SetUpDesktop(HOOKPROC hook) {
  ResetLauncher();
  clientProcessId = kClientProcess;
  client = standin::AddWindow(kClientProcess, L"Client");
  other = standin::AddWindow(kOtherProcess, L"Notes");
  standin::SetForeground(client);
  keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, hook, nullptr, 0);
}

void Pump() { PumpWaitingMessages(); }

HWND ClientWindow() { return client; }
HWND OtherWindow() { return other; }

}  // namespace player
