// The launcher's whole life: start the client, hook the keyboard and the
// client's window events, wait for the client while pumping messages, and
// undo everything in order.
#include <windows.h>

#include <string>

#include "app/error_messages.h"
#include "app/launch_config.h"
#include "app/launch_report.h"
#include "app/power_throttling.h"
#include "common/diagnostics_log.h"
#include "common/launcher_state.h"
#include "common/message_pump.h"
#include "common/product_title.h"
#include "title/title_enforcer.h"
#include "walking/direction.h"
#include "walking/hook_watchdog.h"
#include "walking/key_sender.h"
#include "walking/keyboard_hook.h"

namespace {

constexpr DWORD kClientStartupWaitMs = 30000;
// ERROR_ELEVATION_REQUIRED, which older mingw-w64 headers lack.
constexpr DWORD kElevationRequired = 740;

int ReportFailure(const wchar_t* text) {
  // Written before the box, which may stay up until the player kills the launcher.
  LogDiagnostic("exit code 1 once the error box is closed");
  FlushDiagnosticsLog();
  MessageBoxW(nullptr, text, ProductTitle, MB_ICONERROR);
  return 1;
}

// Only a client that asks for rights the launcher lacks gets a line on what
// to do; any other error keeps the box as it was.
int ReportClientStartFailure(DWORD error) {
  LogDiagnostic("client failed to start: error %u", error);
  if (error != kElevationRequired) return ReportFailure(ClientStartFailedText);
  std::wstring text = std::wstring(ClientStartFailedText) + L"\n" + ClientNeedsElevationText;
  return ReportFailure(text.c_str());
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
    if (result != WAIT_OBJECT_0 + 1) return;
    bool pumpOn = PumpWaitingMessages(MessagesToWakeFor());
    // What the hook calls recorded is written here, outside them.
    FlushDiagnosticsLog();
    if (!pumpOn) return;
  }
}

void TearDown(HANDLE clientProcess) {
  ReleaseAll();
  StopKeySender();
  if (nameChangeEventHook) UnhookWinEvent(nameChangeEventHook);
  if (showEventHook) UnhookWinEvent(showEventHook);
  RemoveKeyboardHook();
  StopHookWatchdog();
  nameChangeEventHook = showEventHook = nullptr;
  CloseHandle(clientProcess);
  LogDiagnostic("exit code 0");
  FlushDiagnosticsLog();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  LaunchPaths paths = BuildLaunchPaths(ResolveBaseDirectory());
  ReadDiagnosticsSetting(paths);
  LogLaunchFacts();
  ReadSmartWalkingSetting(paths.iniFile);
  ReadPauseKeySetting(paths.iniFile);
  ReadScanCodesSetting(paths.iniFile);
  OptOutOfPowerThrottling();
  ReadChatModeSetting(paths.iniFile);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION client{};
  // CreateProcessW may write into the command line, so it gets our own copy.
  if (!CreateProcessW(paths.clientExecutable.c_str(), paths.commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      paths.workingDirectory.c_str(), &startup, &client))
    return ReportClientStartFailure(GetLastError());
  CloseHandle(client.hThread);
  clientProcessId = client.dwProcessId;
  LogDiagnostic("client started: process %u", clientProcessId);

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

  // The wait serves hook calls but no posted message: the walk's keys go out
  // from the hook until it is over, and from the message loop after.
  WaitForInputIdle(client.hProcess, kClientStartupWaitMs);
  if (smartWalkingEnabled) StartKeySender(instance);
  EnumWindows(TitleEnumProc, 0);
  StartTitleThread();
  FlushDiagnosticsLog();

  PumpUntilClientExits(client.hProcess);
  TearDown(client.hProcess);
  return 0;
}
