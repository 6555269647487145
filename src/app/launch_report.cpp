#include "app/launch_report.h"

#include <windows.h>

#include "common/diagnostics_log.h"

// The one call that tells a program without a manifest the Windows version as
// it is; GetVersionExW answers 6.2 for every Windows since 8.
extern "C" LONG WINAPI RtlGetVersion(OSVERSIONINFOW* version);

namespace {

// A client that asks for administrator rights starts only from an elevated launcher.
const char* ElevationLine() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "elevated: unknown";
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  if (!known) return "elevated: unknown";
  return elevation.TokenIsElevated ? "elevated: yes" : "elevated: no";
}

}  // namespace

void LogLaunchFacts() {
  if (!diagnosticsLogging) return;
  LogDiagnostic("launcher " LAUNCHER_VERSION " started");
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (RtlGetVersion(&version) == 0)
    LogDiagnostic("Windows %u.%u.%u", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
  LogDiagnostic(ElevationLine());
}
