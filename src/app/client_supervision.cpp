// The launcher's whole life: start the client, hook the keyboard and the
// client's window events, wait for the client while pumping messages, and
// undo everything in order.
#include <windows.h>

#include "app/error_messages.h"
#include "app/launch_config.h"
#include "common/launcher_state.h"
#include "common/message_pump.h"
#include "common/product_title.h"
#include "title/title_enforcer.h"
#include "walking/direction.h"
#include "walking/hook_watchdog.h"
#include "walking/keyboard_hook.h"

namespace {

constexpr DWORD kClientStartupWaitMs = 30000;

int ReportFailure(const wchar_t* text) {
  MessageBoxW(nullptr, text, ProductTitle, MB_ICONERROR);
  return 1;
}

HWINEVENTHOOK HookClientEvent(DWORD event) {
  // Out of context: the platform calls TitleEventProc on this thread.
  return SetWinEventHook(event, event, nullptr, TitleEventProc, clientProcessId, 0, WINEVENT_OUTOFCONTEXT);
}

void StartTitleThread() {
  HANDLE thread = CreateThread(nullptr, 0, TitleEnforcerThread, nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
}

// Pumping is what lets the platform call the hooks on this thread.
void PumpUntilClientExits(HANDLE clientProcess) {
  for (;;) {
    DWORD result = MsgWaitForMultipleObjects(1, &clientProcess, FALSE, INFINITE, MessagesToWakeFor());
    if (result != WAIT_OBJECT_0 + 1 || !PumpWaitingMessages()) return;
  }
}

void TearDown(HANDLE clientProcess) {
  ReleaseAll();
  if (nameChangeEventHook) UnhookWinEvent(nameChangeEventHook);
  if (showEventHook) UnhookWinEvent(showEventHook);
  if (keyboardHook) UnhookWindowsHookEx(keyboardHook);
  StopHookWatchdog();
  nameChangeEventHook = showEventHook = nullptr;
  keyboardHook = nullptr;
  CloseHandle(clientProcess);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  LaunchPaths paths = BuildLaunchPaths(ResolveBaseDirectory());
  ReadSmartWalkingSetting(paths.iniFile);
  ReadPauseKeySetting(paths.iniFile);
  ReadChatModeSetting(paths.iniFile);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION client{};
  // CreateProcessW may write into the command line, so it gets our own copy.
  if (!CreateProcessW(paths.clientExecutable.c_str(), paths.commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      paths.workingDirectory.c_str(), &startup, &client))
    return ReportFailure(ClientStartFailedText);
  CloseHandle(client.hThread);
  clientProcessId = client.dwProcessId;

  if (smartWalkingEnabled) {
    if (!InstallKeyboardHook(instance)) {
      // The client does not outlive a walking feature that failed to start.
      TerminateProcess(client.hProcess, 1);
      CloseHandle(client.hProcess);
      return ReportFailure(SmartWalkingFailedText);
    }
    StartHookWatchdog(instance);
  }
  showEventHook = HookClientEvent(EVENT_OBJECT_SHOW);
  nameChangeEventHook = HookClientEvent(EVENT_OBJECT_NAMECHANGE);

  WaitForInputIdle(client.hProcess, kClientStartupWaitMs);
  EnumWindows(TitleEnumProc, 0);
  StartTitleThread();

  PumpUntilClientExits(client.hProcess);
  TearDown(client.hProcess);
  return 0;
}
