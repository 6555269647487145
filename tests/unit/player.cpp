// The player's desktop; free of GoogleTest so the fuzz targets share it.
#include "player.h"

#include "common/launcher_state.h"
#include "common/message_pump.h"

namespace player {
namespace {
HWND client = nullptr;
HWND other = nullptr;
}  // namespace

void SetUpDesktop(HOOKPROC hook) {
  standin::Reset();
  smartWalkingEnabled = true;
  clientProcessId = kClientProcess;
  sentKey = lastPressedKey = 0;
  ResetKeyboardHook();
  heldW = heldA = heldS = heldD = 0;
  pauseKey = VK_SCROLL;
  pauseKeyDown = walkingPaused = false;
  pumpWakeMask = QS_ALLINPUT;
  client = standin::AddWindow(kClientProcess, L"Client");
  other = standin::AddWindow(kOtherProcess, L"Notes");
  standin::SetForeground(client);
  keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, hook, nullptr, 0);
}

void Pump() { PumpWaitingMessages(); }

HWND ClientWindow() { return client; }
HWND OtherWindow() { return other; }

}  // namespace player
