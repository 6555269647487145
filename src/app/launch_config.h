// Where the client, its working directory and the settings file are, all
// derived from the launcher's own location, and the settings it reads.
#pragma once

#include <string>

struct LaunchPaths {
  std::wstring baseDirectory;
  std::wstring clientExecutable;
  std::wstring iniFile;
  std::wstring commandLine;
  std::wstring workingDirectory;
  std::wstring logFile;
};

std::wstring ResolveBaseDirectory();
std::wstring BaseDirectoryOf(const std::wstring& modulePath);
LaunchPaths BuildLaunchPaths(const std::wstring& baseDirectory);
// The diagnostics log first, so that it holds the other settings.
void ReadDiagnosticsSetting(const LaunchPaths& paths);
void ReadSmartWalkingSetting(const std::wstring& iniFile);
void ReadPauseKeySetting(const std::wstring& iniFile);
void ReadScanCodesSetting(const std::wstring& iniFile);
void ReadChatModeSetting(const std::wstring& iniFile);
