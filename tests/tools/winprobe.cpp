// Looks at and pokes the Windows side of a Wine session for the end-to-end
// tests: message boxes, windows and titles, threads, resources. Prints one
// key=value per line (UTF-8; control characters and '%' %XX-escaped); lists
// use indexed keys such as window.0.title. Exit code 0 when the probe found
// what it was asked for, 1 when not, 2 on bad usage.

#include <windows.h>
// After <windows.h>, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "event_log.h"

namespace {

void WriteStdout(const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Out(const std::wstring& key, const std::wstring& value) {
  WriteStdout(ToUtf8(key + L"=" + Escape(value) + L"\n"));
}
void Out(const std::wstring& key, unsigned long long value) { Out(key, std::to_wstring(value)); }
void OutHex(const std::wstring& key, unsigned long long value) { Out(key, Hex(value)); }

unsigned long long ParseNumber(const wchar_t* text) { return std::wcstoull(text, nullptr, 0); }
HWND ParseWindow(const wchar_t* text) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(ParseNumber(text))); }

// Options after the positional arguments: "--name value" or a bare "--flag".
struct Args {
  std::vector<std::wstring> positional;
  std::vector<std::pair<std::wstring, std::wstring>> named;

  bool Has(const wchar_t* name) const {
    for (const auto& n : named)
      if (n.first == name) return true;
    return false;
  }
  std::wstring Get(const wchar_t* name, const std::wstring& fallback) const {
    for (const auto& n : named)
      if (n.first == name) return n.second;
    return fallback;
  }
  double Seconds(const wchar_t* name, double fallback) const {
    std::wstring v = Get(name, L"");
    return v.empty() ? fallback : std::wcstod(v.c_str(), nullptr);
  }
};

Args ParseArgs(int argc, wchar_t** argv, int first) {
  static const wchar_t* const flags[] = {L"--press-ok"};
  Args args;
  for (int i = first; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a.rfind(L"--", 0) != 0) {
      args.positional.push_back(a);
      continue;
    }
    bool isFlag = false;
    for (const wchar_t* f : flags) isFlag = isFlag || a == f;
    if (isFlag || i + 1 >= argc) {
      args.named.emplace_back(a, L"1");
    } else {
      args.named.emplace_back(a, argv[++i]);
    }
  }
  return args;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = L"";
  GetClassNameW(window, name, 256);
  return name;
}

DWORD WindowProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

// The X window behind a top-level Wine window; tests focus and photograph it through X.
unsigned long long X11Window(HWND window) {
  return reinterpret_cast<uintptr_t>(GetPropW(window, L"__wine_x11_whole_window"));
}

void OutWindow(const std::wstring& prefix, HWND window) {
  OutHex(prefix + L"hwnd", reinterpret_cast<uintptr_t>(window));
  Out(prefix + L"pid", WindowProcess(window));
  Out(prefix + L"class", ClassName(window));
  Out(prefix + L"visible", IsWindowVisible(window) ? 1 : 0);
  Out(prefix + L"toplevel", GetAncestor(window, GA_ROOT) == window ? 1 : 0);
  OutHex(prefix + L"parent", reinterpret_cast<uintptr_t>(GetAncestor(window, GA_PARENT)));
  OutHex(prefix + L"owner", reinterpret_cast<uintptr_t>(GetWindow(window, GW_OWNER)));
  OutHex(prefix + L"x11", X11Window(window));
  RECT frame{}, client{};
  POINT origin{0, 0};
  GetWindowRect(window, &frame);
  GetClientRect(window, &client);
  ClientToScreen(window, &origin);
  Out(prefix + L"rect", std::to_wstring(frame.left) + L"," + std::to_wstring(frame.top) + L"," +
                            std::to_wstring(frame.right) + L"," + std::to_wstring(frame.bottom));
  // Where the client area lies inside the window: Wine draws the frame itself when no window manager does.
  Out(prefix + L"client", std::to_wstring(origin.x - frame.left) + L"," + std::to_wstring(origin.y - frame.top) + L"," +
                              std::to_wstring(client.right) + L"," + std::to_wstring(client.bottom));
  Out(prefix + L"title", WindowTitle(window));
}

std::vector<HWND> TopLevelWindows(DWORD pid) {
  std::vector<HWND> found;
  struct Filter {
    DWORD pid;
    std::vector<HWND>* found;
  } filter{pid, &found};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* f = reinterpret_cast<Filter*>(param);
        if (f->pid == 0 || WindowProcess(window) == f->pid) f->found->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&filter));
  return found;
}

std::vector<HWND> ChildWindows(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM param) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

struct ThreadInfo {
  DWORD id;
  unsigned long long created;
};

std::vector<ThreadInfo> ProcessThreads(DWORD pid) {
  std::vector<ThreadInfo> threads;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return threads;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != pid) continue;
    unsigned long long created = ~0ull;
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
    if (thread != nullptr) {
      FILETIME creation, exit, kernel, user;
      if (GetThreadTimes(thread, &creation, &exit, &kernel, &user)) {
        created = (static_cast<unsigned long long>(creation.dwHighDateTime) << 32) | creation.dwLowDateTime;
      }
      CloseHandle(thread);
    }
    threads.push_back({entry.th32ThreadID, created});
  }
  CloseHandle(snapshot);
  return threads;
}

// --- message boxes ------------------------------------------------------------

struct NamedIcon {
  const wchar_t* name;
  LPCWSTR id;
};

const NamedIcon systemIcons[] = {
    {L"error", IDI_ERROR},       {L"warning", IDI_WARNING},         {L"information", IDI_INFORMATION},
    {L"question", IDI_QUESTION}, {L"application", IDI_APPLICATION},
};

struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> data;
};

Pixels Capture(HDC source, int x, int y, int width, int height) {
  Pixels p;
  p.width = width;
  p.height = height;
  HDC memory = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) p.data.push_back(GetPixel(memory, col, row));
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return p;
}

Pixels RenderIcon(HICON icon, int width, int height, COLORREF background) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  HBRUSH brush = CreateSolidBrush(background);
  RECT all{0, 0, width, height};
  FillRect(memory, &all, brush);
  DeleteObject(brush);
  DrawIconEx(memory, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
  Pixels p = Capture(memory, 0, 0, width, height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return p;
}

size_t Difference(const Pixels& a, const Pixels& b) {
  size_t differing = 0;
  for (size_t i = 0; i < a.data.size() && i < b.data.size(); ++i) differing += a.data[i] != b.data[i];
  return differing;
}

// Icon handles are per process, so the box's icon is told apart by its pixels:
// the control as it is on screen against each system icon drawn here.
std::wstring IdentifyIcon(HWND iconControl, size_t* bestDifference) {
  // Icon handles do not compare across processes, but a control without an icon answers null.
  if (SendMessageW(iconControl, STM_GETICON, 0, 0) == 0) return L"none";
  RECT r;
  GetWindowRect(iconControl, &r);
  int width = std::min<int>(r.right - r.left, 64);
  int height = std::min<int>(r.bottom - r.top, 64);
  if (width <= 0 || height <= 0) return L"none";
  HDC screen = GetDC(nullptr);
  Pixels shown = Capture(screen, r.left, r.top, width, height);
  ReleaseDC(nullptr, screen);

  std::wstring best = L"unknown";
  *bestDifference = shown.data.size();
  for (const NamedIcon& candidate : systemIcons) {
    Pixels drawn = RenderIcon(LoadIconW(nullptr, candidate.id), width, height, shown.data[shown.data.size() - 1]);
    size_t difference = Difference(shown, drawn);
    if (difference < *bestDifference) {
      *bestDifference = difference;
      best = candidate.name;
    }
  }
  // A few pixels of slack for anti-aliased edges; anything more is another picture.
  return *bestDifference * 50 <= shown.data.size() ? best : L"unknown";
}

HWND FindVisibleDialog(const std::wstring& caption, double timeoutSeconds) {
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutSeconds * 1000);
  for (;;) {
    HWND dialog = FindWindowW(L"#32770", caption.c_str());
    if (dialog != nullptr && IsWindowVisible(dialog) && GetDlgItem(dialog, 0xFFFF) != nullptr) return dialog;
    if (GetTickCount64() >= deadline) return nullptr;
    Sleep(50);
  }
}

int MessageBoxCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  HWND dialog = FindVisibleDialog(args.positional[0], args.Seconds(L"--timeout", 10));
  Out(L"found", dialog != nullptr ? 1 : 0);
  if (dialog == nullptr) return 1;

  OutWindow(L"", dialog);
  Out(L"topmost", (GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
  wchar_t text[4096] = L"";
  GetDlgItemTextW(dialog, 0xFFFF, text, 4096);
  Out(L"text", text);

  HWND iconControl = nullptr;
  size_t buttons = 0;
  for (HWND child : ChildWindows(dialog)) {
    std::wstring cls = ClassName(child);
    LONG style = GetWindowLongW(child, GWL_STYLE);
    if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child)) {
      iconControl = child;
    }
    if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(child)) {
      std::wstring prefix = L"button." + std::to_wstring(buttons++) + L".";
      Out(prefix + L"id", static_cast<unsigned long long>(GetDlgCtrlID(child)));
      Out(prefix + L"text", WindowTitle(child));
    }
  }
  Out(L"buttons", buttons);
  Out(L"icon_control", iconControl != nullptr ? 1 : 0);

  std::wstring icon = iconControl != nullptr ? L"unknown" : L"none";
  size_t difference = 0;
  // The box may still be painting; give it a moment before calling the icon unknown.
  for (int attempt = 0; iconControl != nullptr && attempt < 20; ++attempt) {
    icon = IdentifyIcon(iconControl, &difference);
    if (icon != L"unknown") break;
    Sleep(100);
  }
  Out(L"icon", icon);
  if (iconControl != nullptr) Out(L"icon_difference", difference);

  if (args.Has(L"--press-ok")) {
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ULONGLONG deadline = GetTickCount64() + 5000;
    while (IsWindow(dialog) && GetTickCount64() < deadline) Sleep(50);
    Out(L"dismissed", IsWindow(dialog) ? 0 : 1);
  }
  return 0;
}

// --- processes and windows ----------------------------------------------------

int QuitCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  std::vector<ThreadInfo> threads = ProcessThreads(static_cast<DWORD>(ParseNumber(args.positional[0].c_str())));
  if (threads.empty()) {
    Out(L"posted", 0);
    return 1;
  }
  // The main thread is the one created first.
  ThreadInfo first = threads.front();
  for (const ThreadInfo& t : threads)
    if (t.created < first.created) first = t;
  BOOL posted = PostThreadMessageW(first.id, WM_QUIT, 0, 0);
  Out(L"thread", first.id);
  Out(L"posted", posted ? 1 : 0);
  return posted ? 0 : 1;
}

int ThreadsCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  std::vector<ThreadInfo> threads = ProcessThreads(static_cast<DWORD>(ParseNumber(args.positional[0].c_str())));
  Out(L"count", threads.size());
  for (size_t i = 0; i < threads.size(); ++i) Out(L"thread." + std::to_wstring(i), threads[i].id);
  return threads.empty() ? 1 : 0;
}

int WindowsCommand(const Args& args) {
  DWORD pid = args.positional.empty() ? 0 : static_cast<DWORD>(ParseNumber(args.positional[0].c_str()));
  std::vector<HWND> windows = TopLevelWindows(pid);
  Out(L"count", windows.size());
  size_t children = 0;
  for (size_t i = 0; i < windows.size(); ++i) {
    OutWindow(L"window." + std::to_wstring(i) + L".", windows[i]);
    if (pid == 0) continue;
    for (HWND child : ChildWindows(windows[i])) OutWindow(L"child." + std::to_wstring(children++) + L".", child);
  }
  Out(L"children", children);
  return windows.empty() ? 1 : 0;
}

int ForegroundCommand(const Args&) {
  HWND window = GetForegroundWindow();
  if (window == nullptr) {
    OutHex(L"hwnd", 0);
    return 1;
  }
  OutWindow(L"", window);
  return 0;
}

int SetTitleCommand(const Args& args) {
  if (args.positional.size() < 2) return 2;
  BOOL done = SetWindowTextW(ParseWindow(args.positional[0].c_str()), args.positional[1].c_str());
  Out(L"set", done ? 1 : 0);
  return done ? 0 : 1;
}

int LogWindowsCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  BOOL done =
      PostMessageW(ParseWindow(args.positional[0].c_str()), RegisterWindowMessageW(L"StandInClientLogWindows"), 0, 0);
  Out(L"posted", done ? 1 : 0);
  return done ? 0 : 1;
}

int CloseCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  BOOL done = PostMessageW(ParseWindow(args.positional[0].c_str()), WM_CLOSE, 0, 0);
  Out(L"posted", done ? 1 : 0);
  return done ? 0 : 1;
}

// With --image, ends the process only if its executable has that file name,
// so a process id reused by another program is left alone.
// Prints the show and name-change events of every process as they arrive, for
// `seconds`: what the launcher's out-of-context event hooks would receive.
size_t watchedEvents;

void CALLBACK WatchProc(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
  if (event != EVENT_OBJECT_SHOW && event != EVENT_OBJECT_NAMECHANGE) return;
  std::wstring prefix = L"event." + std::to_wstring(watchedEvents++) + L".";
  Out(prefix + L"type", event == EVENT_OBJECT_SHOW ? L"show" : L"namechange");
  OutHex(prefix + L"hwnd", reinterpret_cast<uintptr_t>(window));
  Out(prefix + L"pid", WindowProcess(window));
  Out(prefix + L"object", std::to_wstring(object));
  Out(prefix + L"child", std::to_wstring(child));
  Out(prefix + L"toplevel", GetAncestor(window, GA_ROOT) == window ? 1 : 0);
  Out(prefix + L"title", WindowTitle(window));
}

int WatchCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  DWORD pid = args.Has(L"--pid") ? static_cast<DWORD>(ParseNumber(args.Get(L"--pid", L"0").c_str())) : 0;
  HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_NAMECHANGE, nullptr, WatchProc, pid, 0, WINEVENT_OUTOFCONTEXT);
  Out(L"watching", hook != nullptr ? 1 : 0);
  if (hook == nullptr) return 1;
  double seconds = std::wcstod(args.positional[0].c_str(), nullptr);
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  UnhookWinEvent(hook);
  Out(L"events", watchedEvents);
  return 0;
}

// Every process with its exe file name and thread count: finds a program
// known only by its exe name.
int ProcessesCommand(const Args&) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  unsigned long long count = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry), ++count) {
    std::wstring prefix = L"process." + std::to_wstring(count) + L".";
    Out(prefix + L"pid", entry.th32ProcessID);
    Out(prefix + L"exe", entry.szExeFile);
    Out(prefix + L"threads", entry.cntThreads);
  }
  CloseHandle(snapshot);
  Out(L"count", count);
  return 0;
}

int KillCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  DWORD pid = static_cast<DWORD>(ParseNumber(args.positional[0].c_str()));
  HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) {
    Out(L"killed", 0);
    return 1;
  }
  std::wstring image = args.Get(L"--image", L"");
  wchar_t path[32768];
  DWORD length = 32768;
  bool matches = image.empty();
  if (!matches && QueryFullProcessImageNameW(process, 0, path, &length)) {
    std::wstring full(path, length);
    size_t slash = full.find_last_of(L"\\/");
    matches = _wcsicmp(full.substr(slash == std::wstring::npos ? 0 : slash + 1).c_str(), image.c_str()) == 0;
  }
  BOOL done = matches && TerminateProcess(process, 9);
  CloseHandle(process);
  Out(L"killed", done ? 1 : 0);
  return done ? 0 : 1;
}

// The first window of a fresh session waits for Wine's desktop to start; pay that once, up front.
int WarmUpCommand(const Args&) {
  HWND window = CreateWindowExW(0, L"STATIC", L"warm-up", WS_OVERLAPPED, 0, 0, 100, 50, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  DestroyWindow(window);
  Out(L"ready", window != nullptr ? 1 : 0);
  return window != nullptr ? 0 : 1;
}

int KeyStateCommand(const Args& args) {
  for (const std::wstring& key : args.positional) {
    int vk = static_cast<int>(ParseNumber(key.c_str()));
    Out(L"down." + KeyName(static_cast<UINT>(vk)), (GetAsyncKeyState(vk) & 0x8000) ? 1 : 0);
  }
  return 0;
}

// --- resources ------------------------------------------------------------------

// The four hex digits a StringFileInfo block name is made of.
std::wstring Hex4(WORD value) {
  std::wstring digits = Hex(value).substr(2);
  return std::wstring(4 - digits.size(), L'0') + digits;
}

std::wstring VersionText(WORD high1, WORD low1, WORD high2, WORD low2) {
  return std::to_wstring(high1) + L"." + std::to_wstring(low1) + L"." + std::to_wstring(high2) + L"." +
         std::to_wstring(low2);
}

int VersionCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  const wchar_t* path = args.positional[0].c_str();
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  Out(L"has_version", size != 0 ? 1 : 0);
  if (size == 0) return 1;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(path, 0, size, block.data())) return 1;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr) {
    OutHex(L"signature", fixed->dwSignature);
    Out(L"file_version", VersionText(HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                                     HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS)));
    Out(L"product_version", VersionText(HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS),
                                        HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS)));
    OutHex(L"flags_mask", fixed->dwFileFlagsMask);
    OutHex(L"flags", fixed->dwFileFlags);
    OutHex(L"os", fixed->dwFileOS);
    OutHex(L"type", fixed->dwFileType);
    OutHex(L"subtype", fixed->dwFileSubtype);
  }

  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &length);
  size_t count = translations != nullptr ? length / sizeof(Translation) : 0;
  Out(L"translations", count);

  static const wchar_t* const names[] = {L"CompanyName",      L"FileDescription", L"FileVersion",   L"InternalName",
                                         L"OriginalFilename", L"ProductName",     L"ProductVersion"};
  for (size_t i = 0; i < count; ++i) {
    std::wstring blockName = Hex4(translations[i].language) + Hex4(translations[i].codePage);
    Out(L"translation." + std::to_wstring(i), blockName);
    for (const wchar_t* name : names) {
      std::wstring query = L"\\StringFileInfo\\" + blockName + L"\\" + name;
      wchar_t* value = nullptr;
      UINT chars = 0;
      if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &chars) || value == nullptr) {
        continue;
      }
      // The first translation's strings also go out unprefixed: that is what a test usually wants.
      std::wstring text(value, wcsnlen(value, chars));
      if (i == 0) Out(name, text);
      Out(blockName + L"." + name, text);
    }
  }
  return 0;
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE colourCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytes;
  WORD id;
};
struct GroupIconHeader {
  WORD reserved;
  WORD type;
  WORD count;
  GroupIconEntry entries[1];
};
#pragma pack(pop)

std::wstring ResourceName(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return std::to_wstring(reinterpret_cast<uintptr_t>(name));
  return name;
}

std::vector<std::wstring> ResourceNames(HMODULE module, LPCWSTR type) {
  std::vector<std::wstring> names;
  EnumResourceNamesW(
      module, type,
      [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
        reinterpret_cast<std::vector<std::wstring>*>(param)->push_back(ResourceName(name));
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&names));
  return names;
}

LPCWSTR ResourceId(const std::wstring& name) {
  if (!name.empty() && name[0] >= L'0' && name[0] <= L'9')
    return MAKEINTRESOURCEW(std::wcstoul(name.c_str(), nullptr, 10));
  return name.c_str();
}

std::wstring ResourceBytes(HMODULE module, const std::wstring& name, LPCWSTR type, DWORD* size) {
  HRSRC found = FindResourceW(module, ResourceId(name), type);
  *size = found != nullptr ? SizeofResource(module, found) : 0;
  const char* data = found != nullptr ? static_cast<const char*>(LockResource(LoadResource(module, found))) : nullptr;
  if (data == nullptr) return L"";
  std::string bytes(data, *size);
  int chars = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(chars), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), chars);
  return text;
}

int IconCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  HMODULE module =
      LoadLibraryExW(args.positional[0].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  Out(L"loaded", module != nullptr ? 1 : 0);
  if (module == nullptr) return 1;

  std::vector<std::wstring> groups = ResourceNames(module, RT_GROUP_ICON);
  Out(L"groups", groups.size());
  for (size_t g = 0; g < groups.size(); ++g) {
    std::wstring prefix = L"group." + std::to_wstring(g) + L".";
    Out(prefix + L"id", groups[g]);
    HRSRC found = FindResourceW(module, ResourceId(groups[g]), RT_GROUP_ICON);
    auto* header =
        found != nullptr ? static_cast<const GroupIconHeader*>(LockResource(LoadResource(module, found))) : nullptr;
    if (header == nullptr) continue;
    Out(prefix + L"entries", header->count);
    for (WORD e = 0; e < header->count; ++e) {
      const GroupIconEntry& entry = header->entries[e];
      std::wstring key = prefix + L"entry." + std::to_wstring(e) + L".";
      // A stored 0 means 256 pixels.
      Out(key + L"width", entry.width == 0 ? 256u : entry.width);
      Out(key + L"height", entry.height == 0 ? 256u : entry.height);
      Out(key + L"colours", entry.colourCount);
      Out(key + L"planes", entry.planes);
      Out(key + L"bits", entry.bitCount);
      Out(key + L"bytes", entry.bytes);
      Out(key + L"icon_id", entry.id);
    }
  }

  std::vector<std::wstring> manifests = ResourceNames(module, RT_MANIFEST);
  Out(L"manifests", manifests.size());
  for (size_t m = 0; m < manifests.size(); ++m) {
    DWORD size = 0;
    std::wstring xml = ResourceBytes(module, manifests[m], RT_MANIFEST, &size);
    std::wstring prefix = L"manifest." + std::to_wstring(m) + L".";
    Out(prefix + L"id", manifests[m]);
    Out(prefix + L"size", size);
    Out(prefix + L"xml", xml);
  }
  FreeLibrary(module);
  return 0;
}

// --- a window of another application ----------------------------------------------

HWND otherWindow;
HWND otherLastForeground;
std::vector<std::wstring> otherKeys;

LRESULT CALLBACK OtherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      LogKeyMessage(window, L"other", message, wParam, lParam);
      otherKeys.push_back(KeyName(static_cast<UINT>(wParam)) +
                          (message == WM_KEYDOWN || message == WM_SYSKEYDOWN ? L" down" : L" up"));
      InvalidateRect(window, nullptr, TRUE);
      break;
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcW(window, message, wParam, lParam);
      LogEvent(L"title hwnd=" + HandleText(window) + L" window=other source=other",
               lParam != 0 ? reinterpret_cast<const wchar_t*>(lParam) : L"");
      NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, window, OBJID_WINDOW, CHILDID_SELF);
      return result;
    }
    case WM_ACTIVATE:
      LogEvent(L"active hwnd=" + HandleText(window) + L" window=other state=" + std::to_wstring(LOWORD(wParam)) +
               L" minimized=" + std::to_wstring(HIWORD(wParam)) + L" other=" +
               HandleText(reinterpret_cast<HWND>(lParam)) + L" foreground=" + HandleText(GetForegroundWindow()));
      break;
    case WM_SYSCOMMAND:
      // No window menu for Alt to open: Wine, with a keyboard hook installed and the window
      // behind on its input, now and then takes Alt+key for a lone Alt, and the menu it then
      // opens eats the keys that follow.
      if ((wParam & 0xFFF0) == SC_KEYMENU) return 0;
      break;
    case WM_TIMER: {
      HWND foreground = GetForegroundWindow();
      if (foreground != otherLastForeground) {
        otherLastForeground = foreground;
        LogEvent(L"foreground hwnd=" + HandleText(foreground) + L" pid=" + std::to_wstring(WindowProcess(foreground)) +
                 L" window=" + (foreground == otherWindow ? L"other" : L"none"));
      }
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      std::wstring line = WindowTitle(window) + L": " + std::to_wstring(otherKeys.size()) + L" key events";
      TextOutW(dc, 8, 8, line.c_str(), static_cast<int>(line.size()));
      for (size_t i = otherKeys.size() > 10 ? otherKeys.size() - 10 : 0, y = 30; i < otherKeys.size(); ++i, y += 18) {
        TextOutW(dc, 14, static_cast<int>(y), otherKeys[i].c_str(), static_cast<int>(otherKeys[i].size()));
      }
      EndPaint(window, &ps);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int WindowCommand(const Args& args) {
  if (args.positional.size() < 2) return 2;
  OpenEventLog(args.positional[1]);
  LogStart();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = OtherWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = L"ProbeWindow";
  RegisterClassExW(&wc);
  int x = static_cast<int>(ParseNumber(args.Get(L"--x", L"620").c_str()));
  int y = static_cast<int>(ParseNumber(args.Get(L"--y", L"420").c_str()));
  otherWindow = CreateWindowExW(0, L"ProbeWindow", args.positional[0].c_str(), WS_OVERLAPPEDWINDOW, x, y, 360, 260,
                                nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(otherWindow, SW_SHOW);
  UpdateWindow(otherWindow);
  NotifyWinEvent(EVENT_OBJECT_SHOW, otherWindow, OBJID_WINDOW, CHILDID_SELF);
  LogEvent(L"show hwnd=" + HandleText(otherWindow) + L" window=other");
  SetTimer(otherWindow, 1, 50, nullptr);
  LogEvent(L"ready hwnd=" + HandleText(otherWindow));
  // Tests read the handle from stdout as well as from the log.
  OutHex(L"hwnd", reinterpret_cast<uintptr_t>(otherWindow));
  OutHex(L"x11", X11Window(otherWindow));
  Out(L"pid", GetCurrentProcessId());

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  LogEvent(L"exit code=0 pid=" + std::to_wstring(GetCurrentProcessId()));
  CloseEventLog();
  return 0;
}

// Logs every keyboard event a low-level hook installed now sees, and passes
// each on: installed after the launcher's hook it is called first, so it sees
// the physical W/A/S/D presses until the launcher hooks again and comes first.
HHOOK probeHook;

LRESULT CALLBACK ProbeHookProc(int code, WPARAM message, LPARAM event) {
  if (code == HC_ACTION) {
    const auto* record = reinterpret_cast<const KBDLLHOOKSTRUCT*>(event);
    bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    LogEvent(std::wstring(L"hook ") + (down ? L"down" : L"up") + L" vk=" + Hex(record->vkCode) + L" key=" +
             KeyName(record->vkCode) + L" injected=" + ((record->flags & LLKHF_INJECTED) ? L"1" : L"0"));
  }
  return CallNextHookEx(probeHook, code, message, event);
}

int HookLogCommand(const Args& args) {
  if (args.positional.empty()) return 2;
  OpenEventLog(args.positional[0]);
  LogStart();
  probeHook = SetWindowsHookExW(WH_KEYBOARD_LL, ProbeHookProc, GetModuleHandleW(nullptr), 0);
  LogEvent(std::wstring(L"ready hooked=") + (probeHook ? L"1" : L"0"));
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  UnhookWindowsHookEx(probeHook);
  CloseEventLog();
  return 0;
}

// Sets the priority of every thread of a process, as another program could.
int PriorityCommand(const Args& args) {
  if (args.positional.size() < 2) return 2;
  int priority = static_cast<int>(std::wcstol(args.positional[1].c_str(), nullptr, 10));
  size_t set = 0;
  for (const ThreadInfo& thread : ProcessThreads(static_cast<DWORD>(ParseNumber(args.positional[0].c_str())))) {
    HANDLE handle = OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE, thread.id);
    if (!handle) continue;
    if (SetThreadPriority(handle, priority) && GetThreadPriority(handle) == priority) ++set;
    CloseHandle(handle);
  }
  Out(L"set", set);
  return set == 0 ? 1 : 0;
}

// Message-only windows, which EnumWindows never lists: with a pid, only that process's.
int MessageWindowsCommand(const Args& args) {
  DWORD pid = args.positional.empty() ? 0 : static_cast<DWORD>(ParseNumber(args.positional[0].c_str()));
  size_t count = 0;
  for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
       window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
    if (pid != 0 && WindowProcess(window) != pid) continue;
    std::wstring prefix = L"window." + std::to_wstring(count++) + L".";
    OutHex(prefix + L"hwnd", reinterpret_cast<uintptr_t>(window));
    Out(prefix + L"pid", WindowProcess(window));
    Out(prefix + L"class", ClassName(window));
  }
  Out(L"count", count);
  return count == 0 ? 1 : 0;
}

struct Command {
  const wchar_t* name;
  int (*run)(const Args&);
  const char* usage;
};

const Command commands[] = {
    {L"msgbox", MessageBoxCommand, "msgbox <caption> [--timeout s] [--press-ok]"},
    {L"quit", QuitCommand, "quit <pid>"},
    {L"threads", ThreadsCommand, "threads <pid>"},
    {L"processes", ProcessesCommand, "processes"},
    {L"windows", WindowsCommand, "windows [<pid>]"},
    {L"foreground", ForegroundCommand, "foreground"},
    {L"settitle", SetTitleCommand, "settitle <hwnd> <text>"},
    {L"logwindows", LogWindowsCommand, "logwindows <hwnd>"},
    {L"close", CloseCommand, "close <hwnd>"},
    {L"kill", KillCommand, "kill <pid> [--image <exe file name>]"},
    {L"watch", WatchCommand, "watch <seconds> [--pid n]"},
    {L"keystate", KeyStateCommand, "keystate <vk>..."},
    {L"hooklog", HookLogCommand, "hooklog <log file>"},
    {L"messagewindows", MessageWindowsCommand, "messagewindows [<pid>]"},
    {L"priority", PriorityCommand, "priority <pid> <thread priority>"},
    {L"warmup", WarmUpCommand, "warmup"},
    {L"version", VersionCommand, "version <exe>"},
    {L"icon", IconCommand, "icon <exe>"},
    {L"window", WindowCommand, "window <title> <log file> [--x n] [--y n]"},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2) {
    for (const Command& c : commands) {
      if (std::wstring(argv[1]) != c.name) continue;
      int code = c.run(ParseArgs(argc, argv, 2));
      if (code != 2) return code;
      WriteStdout(std::string("usage: winprobe ") + c.usage + "\n");
      return 2;
    }
  }
  WriteStdout("usage: winprobe <command> ...\n");
  for (const Command& c : commands) WriteStdout(std::string("  ") + c.usage + "\n");
  return 2;
}
