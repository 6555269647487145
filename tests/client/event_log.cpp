#include "event_log.h"

#include <tlhelp32.h>

#include <cstdlib>
#include <vector>

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;

unsigned long long QpcMicroseconds() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  unsigned long long f = static_cast<unsigned long long>(frequency.QuadPart);
  unsigned long long c = static_cast<unsigned long long>(counter.QuadPart);
  return c / f * 1000000ull + c % f * 1000000ull / f;
}

DWORD ParentProcessId() {
  DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

void WriteRecord(const std::wstring& line) {
  if (logFile == INVALID_HANDLE_VALUE) return;
  std::string bytes = ToUtf8(line + L"\n");
  DWORD written = 0;
  WriteFile(logFile, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Stamps() {
  return L" qpc_us=" + std::to_wstring(QpcMicroseconds()) + L" tick=" + std::to_wstring(GetTickCount());
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c < 0x20 || c == L'%' || c == 0x7F) {
      static const wchar_t digits[] = L"0123456789ABCDEF";
      out += L'%';
      out += digits[(c >> 4) & 0xF];
      out += digits[c & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

void OpenEventLog(const std::wstring& path) {
  // Appending lets a test keep one log across several runs of the client.
  logFile = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CloseEventLog() {
  if (logFile != INVALID_HANDLE_VALUE) CloseHandle(logFile);
  logFile = INVALID_HANDLE_VALUE;
}

void LogEvent(const std::wstring& fields) { WriteRecord(fields + Stamps()); }

void LogEvent(const std::wstring& fields, const std::wstring& text) {
  WriteRecord(fields + Stamps() + L" text=" + Escape(text));
}

void LogStart() {
  LogEvent(L"start pid=" + std::to_wstring(GetCurrentProcessId()) + L" ppid=" + std::to_wstring(ParentProcessId()) +
           L" tid=" + std::to_wstring(GetCurrentThreadId()));

  std::vector<wchar_t> buffer(32768);
  DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  LogEvent(L"exe", std::wstring(buffer.data(), length));
  length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  LogEvent(L"cwd", std::wstring(buffer.data(), length));
  LogEvent(L"cmdline", GetCommandLineW());
}

void LogKeyMessage(HWND window, const wchar_t* windowName, UINT message, WPARAM wParam, LPARAM lParam) {
  const wchar_t* kind = message == WM_KEYDOWN      ? L"down"
                        : message == WM_KEYUP      ? L"up"
                        : message == WM_SYSKEYDOWN ? L"sysdown"
                                                   : L"sysup";
  unsigned long long bits = static_cast<unsigned long long>(lParam);
  // Bit 30 is the key's previous state: on a key-down it marks an auto-repeat; every key-up has it.
  unsigned long long previous = (bits >> 30) & 1;
  bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  LogEvent(std::wstring(L"key ") + kind + L" vk=" + Hex(wParam) + L" name=" + KeyName(static_cast<UINT>(wParam)) +
           L" repeat=" + std::to_wstring(down ? previous : 0) + L" prev=" + std::to_wstring(previous) + L" count=" +
           std::to_wstring(bits & 0xFFFF) + L" scan=" + Hex((bits >> 16) & 0xFF) + L" ext=" +
           std::to_wstring((bits >> 24) & 1) + L" hwnd=" + HandleText(window) + L" window=" + windowName);
}

std::wstring Hex(unsigned long long value) {
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring out;
  do {
    out.insert(out.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return L"0x" + out;
}

std::wstring HandleText(const void* handle) { return Hex(reinterpret_cast<ULONG_PTR>(handle)); }

std::wstring WindowTitle(HWND window) {
  wchar_t buffer[1024];
  int length = GetWindowTextW(window, buffer, 1024);
  return std::wstring(buffer, static_cast<size_t>(length > 0 ? length : 0));
}

std::wstring KeyName(UINT vk) {
  if ((vk >= L'A' && vk <= L'Z') || (vk >= L'0' && vk <= L'9')) return std::wstring(1, static_cast<wchar_t>(vk));
  switch (vk) {
    case VK_SHIFT:
      return L"Shift";
    case VK_CONTROL:
      return L"Ctrl";
    case VK_MENU:
      return L"Alt";
    case VK_LSHIFT:
      return L"LShift";
    case VK_RSHIFT:
      return L"RShift";
    case VK_LCONTROL:
      return L"LCtrl";
    case VK_RCONTROL:
      return L"RCtrl";
    case VK_LMENU:
      return L"LAlt";
    case VK_RMENU:
      return L"RAlt";
    case VK_LWIN:
      return L"Win";
    case VK_RWIN:
      return L"RWin";
    case VK_PAUSE:
      return L"Pause";
    case VK_SCROLL:
      return L"Scroll";
    case VK_SPACE:
      return L"Space";
    case VK_RETURN:
      return L"Enter";
    case VK_ESCAPE:
      return L"Esc";
    case VK_TAB:
      return L"Tab";
    case VK_LEFT:
      return L"Left";
    case VK_RIGHT:
      return L"Right";
    case VK_UP:
      return L"Up";
    case VK_DOWN:
      return L"Down";
    default:
      return Hex(vk);
  }
}

std::wstring EnvText(const wchar_t* name, const std::wstring& fallback) {
  wchar_t buffer[32768];
  DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
  if (length == 0 || length >= 32768) return fallback;
  return std::wstring(buffer, length);
}

int EnvInt(const wchar_t* name, int fallback) {
  std::wstring text = EnvText(name, L"");
  if (text.empty()) return fallback;
  return static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
}
