#include "common/launcher_state.h"

bool smartWalkingEnabled = true;
DWORD clientProcessId = 0;
HHOOK keyboardHook = nullptr;
HWINEVENTHOOK showEventHook = nullptr;
HWINEVENTHOOK nameChangeEventHook = nullptr;

std::atomic<std::int32_t> titleApplied{0};

void ResetLauncherState() {
  smartWalkingEnabled = true;
  clientProcessId = 0;
  showEventHook = nameChangeEventHook = nullptr;
  titleApplied.exchange(0);
}
