#include "desktop.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cwctype>
#include <deque>
#include <fstream>
#include <memory>
#include <sstream>

struct StandInWindow {
  DWORD processId;
  std::wstring title;
  bool visible;
  HWND parent;
  HWND owner;
  int titleSets;
  std::vector<standin::Delivered> received;
};

struct StandInHandle {
  enum Kind { Process, Thread } kind;
};

struct StandInHook {
  HOOKPROC proc;
};

struct StandInWinEventHook {
  std::size_t index;
};

namespace {

struct Desktop {
  std::vector<std::unique_ptr<StandInWindow>> windows;
  HWND foreground = nullptr;
  bool keyDown[256] = {};

  std::unique_ptr<StandInHook> keyboardHook;
  bool failKeyboardHook = false;
  bool passedOn = false;
  bool lastSwallowed = false;
  int sendInputCalls = 0;
  std::vector<standin::Delivered> injected;

  std::vector<std::unique_ptr<StandInWinEventHook>> eventHookHandles;
  std::vector<standin::WinEventHookRecord> eventHooks;
  bool failWinEventHooks = false;
  std::deque<std::pair<DWORD, HWND>> pendingEvents;
  bool deliveringEvents = false;

  bool failClientStart = false;
  DWORD nextProcessId = 4242;
  std::vector<standin::ProcessStart> starts;
  std::vector<std::unique_ptr<StandInHandle>> handles;
  std::vector<StandInHandle*> openHandles;
  StandInHandle* clientProcess = nullptr;
  bool clientExited = false;
  bool clientTerminated = false;
  UINT clientExitCode = 0;

  std::deque<MSG> queue;
  std::deque<std::function<void()>> waitActions;
  bool failNextWait = false;
  std::vector<MSG> dispatched;

  std::vector<standin::ThreadStart> threads;
  bool failCreateThread = false;
  DWORD clock = 0;
  std::function<void()> onSleep;

  std::wstring modulePath;
  bool wineStyleModulePath = false;
  bool failModulePath = false;
  int modulePathQueries = 0;
  DWORD lastError = 0;

  std::vector<std::string> calls;
};

Desktop& desk() {
  static Desktop instance;
  return instance;
}

void Log(const std::string& call) { desk().calls.push_back(call); }

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

bool IsAltVk(DWORD vk) { return vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU; }

bool IsDown(int vk) {
  Desktop& d = desk();
  switch (vk) {
    case VK_SHIFT:
      return d.keyDown[VK_SHIFT] || d.keyDown[VK_LSHIFT] || d.keyDown[VK_RSHIFT];
    case VK_CONTROL:
      return d.keyDown[VK_CONTROL] || d.keyDown[VK_LCONTROL] || d.keyDown[VK_RCONTROL];
    case VK_MENU:
      return d.keyDown[VK_MENU] || d.keyDown[VK_LMENU] || d.keyDown[VK_RMENU];
    default:
      return vk >= 0 && vk < 256 && d.keyDown[vk];
  }
}

// One keyboard event through the hook chain; what is passed on updates the
// key state and reaches the foreground window.
void Deliver(BYTE vk, bool down, bool injected, UINT message) {
  Desktop& d = desk();
  KBDLLHOOKSTRUCT event{};
  event.vkCode = vk;
  event.flags = injected ? LLKHF_INJECTED : 0u;
  event.time = d.clock;
  bool swallowed = false;
  if (d.keyboardHook) {
    d.passedOn = false;
    HOOKPROC proc = d.keyboardHook->proc;
    LRESULT result = proc(HC_ACTION, message, reinterpret_cast<LPARAM>(&event));
    swallowed = result != 0;
  }
  d.lastSwallowed = swallowed;
  if (swallowed) return;
  if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) d.keyDown[vk] = true;
  if (message == WM_KEYUP || message == WM_SYSKEYUP) d.keyDown[vk] = false;
  if (d.foreground &&
      (message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_KEYUP || message == WM_SYSKEYUP))
    d.foreground->received.push_back({vk, down, injected});
}

UINT MessageFor(BYTE vk, bool down) {
  bool alt = IsDown(VK_MENU) || IsAltVk(vk);
  if (down) return alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
  return alt ? WM_SYSKEYUP : WM_KEYUP;
}

void RaiseEvent(DWORD event, HWND window) {
  Desktop& d = desk();
  d.pendingEvents.emplace_back(event, window);
  // Out-of-context events are queued; a handler that causes another event
  // sees it after it returns, not inside itself.
  if (d.deliveringEvents) return;
  d.deliveringEvents = true;
  while (!d.pendingEvents.empty()) {
    auto [id, target] = d.pendingEvents.front();
    d.pendingEvents.pop_front();
    for (std::size_t i = 0; i < d.eventHooks.size(); ++i) {
      const standin::WinEventHookRecord& hook = d.eventHooks[i];
      if (hook.removed || id < hook.eventMin || id > hook.eventMax) continue;
      if (hook.processId != 0 && (!target || target->processId != hook.processId)) continue;
      hook.proc(reinterpret_cast<HWINEVENTHOOK>(d.eventHookHandles[i].get()), id, target, OBJID_WINDOW, CHILDID_SELF, 1,
                d.clock);
    }
  }
  d.deliveringEvents = false;
}

StandInHandle* NewHandle(StandInHandle::Kind kind) {
  Desktop& d = desk();
  d.handles.push_back(std::make_unique<StandInHandle>(StandInHandle{kind}));
  d.openHandles.push_back(d.handles.back().get());
  return d.handles.back().get();
}

bool IsWindow(HWND window) {
  for (const auto& w : desk().windows)
    if (w.get() == window) return true;
  return false;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    auto u = static_cast<std::uint32_t>(c);
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (u >> 18));
      out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string Trim(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  std::size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

// ---------------------------------------------------------------------------
// The platform calls.

HHOOK SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE, DWORD threadId) {
  Desktop& d = desk();
  Log("SetWindowsHookExW(" + std::to_string(idHook) + "," + std::to_string(threadId) + ")");
  if (d.failKeyboardHook || idHook != WH_KEYBOARD_LL || !proc) return nullptr;
  d.keyboardHook = std::make_unique<StandInHook>(StandInHook{proc});
  return d.keyboardHook.get();
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
  Desktop& d = desk();
  Log("UnhookWindowsHookEx");
  if (!hook || hook != d.keyboardHook.get()) return FALSE;
  d.keyboardHook.reset();
  return TRUE;
}

LRESULT CallNextHookEx(HHOOK, int, WPARAM, LPARAM) {
  desk().passedOn = true;
  return 0;
}

SHORT GetAsyncKeyState(int vk) { return IsDown(vk) ? static_cast<SHORT>(0x8000) : static_cast<SHORT>(0); }

UINT SendInput(UINT count, INPUT* inputs, int size) {
  Desktop& d = desk();
  ++d.sendInputCalls;
  if (size != static_cast<int>(sizeof(INPUT)) || !inputs) return 0;
  for (UINT i = 0; i < count; ++i) {
    const INPUT& input = inputs[i];
    if (input.type != INPUT_KEYBOARD || input.ki.wScan != 0 || input.ki.time != 0 || input.ki.dwExtraInfo != 0)
      return i;
    auto vk = static_cast<BYTE>(input.ki.wVk);
    bool down = (input.ki.dwFlags & KEYEVENTF_KEYUP) == 0;
    d.injected.push_back({vk, down, true});
    Deliver(vk, down, true, MessageFor(vk, down));
  }
  return count;
}

HWND GetForegroundWindow() { return desk().foreground; }

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
  if (!IsWindow(window)) return 0;
  if (processId) *processId = window->processId;
  return 1;
}

HWND GetAncestor(HWND window, UINT flags) {
  if (!IsWindow(window) || flags != GA_ROOT) return nullptr;
  while (window->parent) window = window->parent;
  return window;
}

BOOL IsWindowVisible(HWND window) {
  if (!IsWindow(window)) return FALSE;
  for (HWND w = window; w; w = w->parent)
    if (!w->visible) return FALSE;
  return TRUE;
}

int GetWindowTextW(HWND window, LPWSTR buffer, int size) {
  if (!IsWindow(window) || !buffer || size <= 0) return 0;
  std::size_t count = std::min(window->title.size(), static_cast<std::size_t>(size - 1));
  std::copy_n(window->title.begin(), count, buffer);
  buffer[count] = L'\0';
  return static_cast<int>(count);
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  if (!IsWindow(window) || !text) return FALSE;
  ++window->titleSets;
  bool changed = window->title != text;
  window->title = text;
  if (changed) RaiseEvent(EVENT_OBJECT_NAMECHANGE, window);
  return TRUE;
}

BOOL EnumWindows(WNDENUMPROC proc, LPARAM parameter) {
  Log("EnumWindows");
  std::vector<HWND> topLevel;
  for (const auto& w : desk().windows)
    if (!w->parent) topLevel.push_back(w.get());
  for (HWND w : topLevel)
    if (IsWindow(w) && !proc(w, parameter)) break;
  return TRUE;
}

HWINEVENTHOOK SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE module, WINEVENTPROC proc, DWORD processId,
                              DWORD threadId, DWORD flags) {
  Desktop& d = desk();
  Log("SetWinEventHook(" + Hex(eventMin) + ")");
  if (d.failWinEventHooks || !proc) return nullptr;
  d.eventHooks.push_back({eventMin, eventMax, module, proc, processId, threadId, flags, false});
  d.eventHookHandles.push_back(std::make_unique<StandInWinEventHook>(StandInWinEventHook{d.eventHooks.size() - 1}));
  return d.eventHookHandles.back().get();
}

BOOL UnhookWinEvent(HWINEVENTHOOK hook) {
  Desktop& d = desk();
  if (!hook) {
    Log("UnhookWinEvent(null)");
    return FALSE;
  }
  standin::WinEventHookRecord& record = d.eventHooks.at(hook->index);
  Log("UnhookWinEvent(" + Hex(record.eventMin) + ")");
  if (record.removed) return FALSE;
  record.removed = true;
  return TRUE;
}

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, SECURITY_ATTRIBUTES* processAttributes,
                    SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation) {
  Desktop& d = desk();
  Log("CreateProcessW");
  standin::ProcessStart start{};
  start.applicationName = applicationName ? applicationName : L"";
  start.commandLine = commandLine ? commandLine : L"";
  start.currentDirectory = currentDirectory ? currentDirectory : L"";
  start.inheritHandles = inheritHandles != FALSE;
  start.creationFlags = creationFlags;
  start.defaultEnvironment = environment == nullptr;
  start.noSecurityAttributes = processAttributes == nullptr && threadAttributes == nullptr;
  start.startupInfoSize = startupInfo ? startupInfo->cb : 0;
  if (startupInfo) {
    const STARTUPINFOW& s = *startupInfo;
    start.startupInfoOtherwiseZero = !s.lpReserved && !s.lpDesktop && !s.lpTitle && !s.dwX && !s.dwY && !s.dwXSize &&
                                     !s.dwYSize && !s.dwXCountChars && !s.dwYCountChars && !s.dwFillAttribute &&
                                     !s.dwFlags && !s.wShowWindow && !s.cbReserved2 && !s.lpReserved2 && !s.hStdInput &&
                                     !s.hStdOutput && !s.hStdError;
  }
  d.starts.push_back(start);
  if (d.failClientStart || !processInformation) return FALSE;
  // Windows may write into the command line; make sure the caller allowed it.
  if (commandLine && *commandLine) {
    wchar_t first = commandLine[0];
    commandLine[0] = L'\0';
    commandLine[0] = first;
  }
  d.clientProcess = NewHandle(StandInHandle::Process);
  processInformation->hProcess = d.clientProcess;
  processInformation->hThread = NewHandle(StandInHandle::Thread);
  processInformation->dwProcessId = d.nextProcessId;
  processInformation->dwThreadId = d.nextProcessId + 1;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  Desktop& d = desk();
  auto open = std::find(d.openHandles.begin(), d.openHandles.end(), handle);
  if (open == d.openHandles.end()) {
    Log("CloseHandle(invalid)");
    return FALSE;
  }
  Log(handle->kind == StandInHandle::Process ? "CloseHandle(process)" : "CloseHandle(thread)");
  d.openHandles.erase(open);
  return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
  Desktop& d = desk();
  Log("TerminateProcess(" + std::to_string(exitCode) + ")");
  if (!process || process != d.clientProcess) return FALSE;
  d.clientTerminated = true;
  d.clientExited = true;
  d.clientExitCode = exitCode;
  return TRUE;
}

DWORD WaitForInputIdle(HANDLE process, DWORD milliseconds) {
  Log("WaitForInputIdle(" + std::to_string(milliseconds) + ")");
  return process == desk().clientProcess ? 0u : WAIT_FAILED;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask) {
  Desktop& d = desk();
  bool asExpected = count == 1 && handles && handles[0] == d.clientProcess && !waitAll && milliseconds == INFINITE &&
                    wakeMask == QS_ALLINPUT;
  Log(asExpected ? "MsgWaitForMultipleObjects" : "MsgWaitForMultipleObjects(unexpected arguments)");
  for (;;) {
    if (d.failNextWait) {
      d.failNextWait = false;
      return WAIT_FAILED;
    }
    if (d.clientExited) return WAIT_OBJECT_0;
    if (!d.queue.empty()) return WAIT_OBJECT_0 + 1;
    if (d.waitActions.empty()) return WAIT_FAILED;
    std::function<void()> action = std::move(d.waitActions.front());
    d.waitActions.pop_front();
    action();
  }
}

BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  Desktop& d = desk();
  if (window || filterMin || filterMax || removeFlags != PM_REMOVE) Log("PeekMessageW(unexpected arguments)");
  if (d.queue.empty()) return FALSE;
  *message = d.queue.front();
  d.queue.pop_front();
  return TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* message) {
  desk().dispatched.push_back(*message);
  return 0;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  std::ostringstream call;
  call << "MessageBoxW(" << (owner ? "owner" : "null") << "," << Narrow(text ? text : L"") << ","
       << Narrow(caption ? caption : L"") << "," << Hex(type) << ")";
  Log(call.str());
  return 1;
}

HANDLE CreateThread(SECURITY_ATTRIBUTES* attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, DWORD* threadId) {
  Desktop& d = desk();
  Log(attributes || stackSize || threadId ? "CreateThread(unexpected arguments)" : "CreateThread");
  if (d.failCreateThread) return nullptr;
  d.threads.push_back({start, parameter, flags});
  return NewHandle(StandInHandle::Thread);
}

void Sleep(DWORD milliseconds) {
  Desktop& d = desk();
  d.clock += milliseconds;
  if (d.onSleep) d.onSleep();
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  Desktop& d = desk();
  ++d.modulePathQueries;
  if (module || d.failModulePath || size == 0) {
    d.lastError = 1;
    return 0;
  }
  const std::wstring& path = d.modulePath;
  if (path.size() < size) {
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = L'\0';
    d.lastError = 0;
    return static_cast<DWORD>(path.size());
  }
  d.lastError = ERROR_INSUFFICIENT_BUFFER;
  if (d.wineStyleModulePath) {
    std::copy_n(path.begin(), size, buffer);
  } else {
    std::copy_n(path.begin(), size - 1, buffer);
    buffer[size - 1] = L'\0';
  }
  return size;
}

DWORD GetLastError() { return desk().lastError; }

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, int defaultValue, LPCWSTR fileName) {
  auto fallback = static_cast<UINT>(defaultValue);
  std::string path = Narrow(fileName ? fileName : L"");
  std::replace(path.begin(), path.end(), '\\', '/');  // the launcher joins paths with backslashes
  std::ifstream file(path, std::ios::binary);
  if (!file || !section || !key) return fallback;
  const std::string wantedSection = Narrow(section);
  const std::string wantedKey = Narrow(key);
  std::string line;
  bool inSection = false;
  bool first = true;
  while (std::getline(file, line)) {
    if (first && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    first = false;
    std::string text = Trim(line);
    if (text.empty() || text[0] == ';') continue;
    if (text[0] == '[') {
      std::size_t close = text.find(']');
      inSection = close != std::string::npos && SameName(Trim(text.substr(1, close - 1)), wantedSection);
      continue;
    }
    std::size_t equals = text.find('=');
    if (!inSection || equals == std::string::npos || !SameName(Trim(text.substr(0, equals)), wantedKey)) continue;
    std::string value = Trim(text.substr(equals + 1));
    if (value.empty()) return fallback;
    // As the platform reader: an optional sign, then decimal digits; text that
    // is no number reads as 0.
    std::size_t i = 0;
    bool negative = value[0] == '-';
    if (value[0] == '-' || value[0] == '+') i = 1;
    UINT number = 0;
    for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i)
      number = number * 10u + static_cast<UINT>(value[i] - '0');
    return negative ? 0u - number : number;
  }
  return fallback;
}

// ---------------------------------------------------------------------------
// The test-side controls.

namespace standin {

void Reset() {
  Desktop& d = desk();
  d = Desktop{};
}

HWND AddWindow(DWORD processId, const std::wstring& title, bool visible, HWND parent, HWND owner) {
  Desktop& d = desk();
  d.windows.push_back(std::make_unique<StandInWindow>(StandInWindow{processId, title, visible, parent, owner, 0, {}}));
  HWND window = d.windows.back().get();
  if (visible) RaiseEvent(EVENT_OBJECT_SHOW, window);
  return window;
}

void RemoveWindow(HWND window) {
  Desktop& d = desk();
  if (d.foreground == window) d.foreground = nullptr;
  d.windows.erase(std::remove_if(d.windows.begin(), d.windows.end(),
                                 [window](const std::unique_ptr<StandInWindow>& w) { return w.get() == window; }),
                  d.windows.end());
}

void SetForeground(HWND window) { desk().foreground = window; }

void SetVisible(HWND window, bool visible) {
  bool wasVisible = window->visible;
  window->visible = visible;
  if (visible && !wasVisible) RaiseEvent(EVENT_OBJECT_SHOW, window);
}

void RetitleFromOwner(HWND window, const std::wstring& title) {
  window->title = title;
  RaiseEvent(EVENT_OBJECT_NAMECHANGE, window);
}

std::wstring TitleOf(HWND window) { return window->title; }
int TitleSets(HWND window) { return window->titleSets; }

void Press(BYTE vk) { Deliver(vk, true, false, MessageFor(vk, true)); }
void Release(BYTE vk) { Deliver(vk, false, false, MessageFor(vk, false)); }
void Repeat(BYTE vk) { Press(vk); }

void SendPhysical(UINT message, BYTE vk) {
  Deliver(vk, message == WM_KEYDOWN || message == WM_SYSKEYDOWN, false, message);
}

bool IsKeyDown(BYTE vk) { return IsDown(vk); }

const std::vector<Delivered>& ReceivedBy(HWND window) { return window->received; }

std::string KeyName(BYTE vk) {
  switch (vk) {
    case VK_LCONTROL:
    case VK_CONTROL:
      return "Ctrl";
    case VK_RCONTROL:
      return "RCtrl";
    case VK_LSHIFT:
    case VK_SHIFT:
      return "Shift";
    case VK_RSHIFT:
      return "RShift";
    case VK_LMENU:
    case VK_MENU:
      return "Alt";
    case VK_RMENU:
      return "RAlt";
    case VK_PAUSE:
      return "Pause";
    case VK_SCROLL:
      return "Scroll";
    case 0x20:
      return "Space";
    case 0x25:
      return "Left";
    case 0x26:
      return "Up";
    case 0x27:
      return "Right";
    case 0x28:
      return "Down";
    default:
      if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return std::string(1, static_cast<char>(vk));
      return Hex(vk);
  }
}

std::string Stream(HWND window) {
  std::string out;
  for (const Delivered& e : window->received) {
    std::string name = KeyName(e.vk);
    if (!e.injected)
      std::transform(name.begin(), name.end(), name.begin(),
                     [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    if (!out.empty()) out += ' ';
    out += name + (e.down ? "+" : "-");
  }
  return out;
}

const std::vector<Delivered>& Injected() { return desk().injected; }
bool LastSwallowed() { return desk().lastSwallowed; }

bool KeyboardHookInstalled() { return desk().keyboardHook != nullptr; }
int SendInputCalls() { return desk().sendInputCalls; }
void FailKeyboardHook(bool fail) { desk().failKeyboardHook = fail; }
void FailWinEventHooks(bool fail) { desk().failWinEventHooks = fail; }
const std::vector<WinEventHookRecord>& WinEventHooks() { return desk().eventHooks; }

void FailClientStart(bool fail) { desk().failClientStart = fail; }
DWORD ClientProcessId() { return desk().nextProcessId; }
const std::vector<ProcessStart>& ProcessStarts() { return desk().starts; }
void ExitClient() { desk().clientExited = true; }

bool ClientTerminated(UINT* exitCode) {
  if (exitCode) *exitCode = desk().clientExitCode;
  return desk().clientTerminated;
}

int OpenHandles() { return static_cast<int>(desk().openHandles.size()); }

void PostToLauncher(UINT message) {
  MSG msg{};
  msg.message = message;
  desk().queue.push_back(msg);
}

void OnWait(std::function<void()> action) { desk().waitActions.push_back(std::move(action)); }
void FailNextWait() { desk().failNextWait = true; }
std::vector<MSG>& Dispatched() { return desk().dispatched; }

const std::vector<ThreadStart>& ThreadsStarted() { return desk().threads; }
void FailCreateThread(bool fail) { desk().failCreateThread = fail; }
DWORD Clock() { return desk().clock; }
void OnSleep(std::function<void()> action) { desk().onSleep = std::move(action); }

void SetModulePath(const std::wstring& path, bool wineStyle) {
  desk().modulePath = path;
  desk().wineStyleModulePath = wineStyle;
}

void FailModulePath() { desk().failModulePath = true; }
int ModulePathQueries() { return desk().modulePathQueries; }

const std::vector<std::string>& Calls() { return desk().calls; }
void ClearCalls() { desk().calls.clear(); }

}  // namespace standin
