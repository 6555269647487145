#include "app/launch_config.h"

#include <windows.h>

#include "common/diagnostics_log.h"
#include "common/launcher_state.h"
#include "walking/chat_mode.h"
#include "walking/injected_key.h"
#include "walking/pause_key.h"

namespace {

// The longest path the platform has, plus its terminating zero.
constexpr DWORD kLongestModulePath = 32768;

}  // namespace

std::wstring ResolveBaseDirectory() {
  // A cut module path would point at a parent folder, and so at another
  // program's bin\client.exe: grow the buffer until the whole path fits.
  std::wstring path;
  DWORD size = MAX_PATH;
  for (;;) {
    path.resize(size);
    DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
    if (length < size) {
      path.resize(length);
      return BaseDirectoryOf(path);
    }
    if (size >= kLongestModulePath) return L".";
    size = size * 2 < kLongestModulePath ? size * 2 : kLongestModulePath;
  }
}

std::wstring BaseDirectoryOf(const std::wstring& modulePath) {
  std::size_t separator = modulePath.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return L".";
  return modulePath.substr(0, separator);
}

LaunchPaths BuildLaunchPaths(const std::wstring& baseDirectory) {
  LaunchPaths paths;
  paths.baseDirectory = baseDirectory;
  paths.clientExecutable = baseDirectory + L"\\bin\\client.exe";
  paths.iniFile = baseDirectory + L"\\VarnelOfficial.ini";
  paths.commandLine = L"\"" + paths.clientExecutable + L"\"";
  paths.workingDirectory = baseDirectory + L"\\bin";
  paths.logFile = baseDirectory + L"\\VarnelOfficial.log";
  return paths;
}

void ReadDiagnosticsSetting(const LaunchPaths& paths) {
  if (GetPrivateProfileIntW(L"Diagnostics", L"Log", 0, paths.iniFile.c_str()) == 0) return;
  StartDiagnosticsLog(paths.logFile);
}

void ReadSmartWalkingSetting(const std::wstring& iniFile) {
  smartWalkingEnabled = GetPrivateProfileIntW(L"SmartWalking", L"Enabled", 1, iniFile.c_str()) != 0;
  LogDiagnostic("setting SmartWalking.Enabled=%u", smartWalkingEnabled);
}

void ReadPauseKeySetting(const std::wstring& iniFile) {
  UINT value = GetPrivateProfileIntW(L"SmartWalking", L"PauseKey", VK_SCROLL, iniFile.c_str());
  UsePauseKey(value);
  LogDiagnostic("setting SmartWalking.PauseKey=%u", pauseKey);
}

void ReadScanCodesSetting(const std::wstring& iniFile) {
  UseScanCodes(GetPrivateProfileIntW(L"SmartWalking", L"ScanCodes", 0, iniFile.c_str()));
  LogDiagnostic("setting SmartWalking.ScanCodes=%u", injectScanCodes);
}

void ReadChatModeSetting(const std::wstring& iniFile) {
  UseChatMode(GetPrivateProfileIntW(L"SmartWalking", L"ChatMode", 0, iniFile.c_str()) != 0);
  LogDiagnostic("setting SmartWalking.ChatMode=%u", chatMode);
}
