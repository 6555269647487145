#include "app/power_throttling.h"

#include <windows.h>

namespace {

using SetProcessInformationCall = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

}  // namespace

void OptOutOfPowerThrottling() {
  // Looked up, not imported: Windows 7 has no SetProcessInformation.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  FARPROC found = GetProcAddress(kernel, "SetProcessInformation");
  if (!found) return;
  auto setProcessInformation = reinterpret_cast<SetProcessInformationCall>(reinterpret_cast<void (*)()>(found));
  PROCESS_POWER_THROTTLING_STATE state{};
  state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
  state.ControlMask = PROCESS_POWER_THROTTLING_EXECUTION_SPEED;
  state.StateMask = 0;  // execution speed controlled, and not throttled
  setProcessInformation(GetCurrentProcess(), ProcessPowerThrottling, &state, static_cast<DWORD>(sizeof state));
}
