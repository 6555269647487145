// The log the stand-in client and the probe's window write for the end-to-end
// tests: one UTF-8 line per record, "<event> key=value ... [text=<rest>]",
// written straight through so a test reading the file sees each record at once.
#pragma once

#include <windows.h>

#include <string>

void OpenEventLog(const std::wstring& path);
void CloseEventLog();

// `fields` is "<event> key=value ..."; the time stamps are appended to it.
void LogEvent(const std::wstring& fields);
// `text` goes last, so it may hold spaces; control characters and '%' are %XX-escaped.
void LogEvent(const std::wstring& fields, const std::wstring& text);

void LogStart();  // pid, parent pid, exe, working directory, command line
void LogKeyMessage(HWND window, const wchar_t* windowName, UINT message, WPARAM wParam, LPARAM lParam);

std::string ToUtf8(const std::wstring& text);
// Keeps a record on one line whatever the text holds: control characters and '%' become %XX.
std::wstring Escape(const std::wstring& text);

std::wstring Hex(unsigned long long value);
std::wstring HandleText(const void* handle);
std::wstring WindowTitle(HWND window);
std::wstring KeyName(UINT vk);

// Reads an environment variable; `fallback` when it is unset or empty.
std::wstring EnvText(const wchar_t* name, const std::wstring& fallback);
int EnvInt(const wchar_t* name, int fallback);
