#include "desktop.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <deque>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

struct StandInWindow {
  DWORD processId;
  std::wstring title;
  bool visible;
  HWND parent;
  HWND owner;
  int titleSets;
  std::vector<standin::Delivered> received;
  WNDPROC proc = nullptr;  // message-only windows of the launcher
  bool blindsLauncher = false;
};

struct StandInHandle {
  enum Kind { Process, Thread, File, Token } kind;
  int fd = -1;  // a file's
};

struct StandInHook {
  HOOKPROC proc;
};

struct StandInWinEventHook {
  std::size_t index;
};

struct StandInRawInput {
  RAWINPUTHEADER header;
  RAWKEYBOARD keyboard;
  std::size_t sequence;
};
struct StandInModule {};

namespace {

struct Desktop {
  std::vector<std::unique_ptr<StandInWindow>> windows;
  HWND foreground = nullptr;
  bool keyDown[256] = {};

  std::unique_ptr<StandInHook> keyboardHook;
  HMODULE keyboardHookModule = nullptr;
  bool failKeyboardHook = false;
  std::vector<standin::ChainCall> chainCalls;
  standin::Outcome lastOutcome = standin::Outcome::PassedOn;
  std::string outcomes;
  int sendInputCalls = 0;
  std::vector<standin::Delivered> injected;
  std::vector<KBDLLHOOKSTRUCT> hookEvents;

  std::vector<std::unique_ptr<StandInWinEventHook>> eventHookHandles;
  std::vector<standin::WinEventHookRecord> eventHooks;
  bool failWinEventHooks = false;
  std::deque<std::pair<DWORD, HWND>> pendingEvents;
  bool deliveringEvents = false;

  bool failClientStart = false;
  DWORD clientStartError = 0;
  DWORD nextProcessId = 4242;
  std::vector<standin::ProcessStart> starts;
  std::vector<std::unique_ptr<StandInHandle>> handles;
  std::vector<StandInHandle*> openHandles;
  StandInHandle* clientProcess = nullptr;
  bool clientExited = false;
  bool clientTerminated = false;
  UINT clientExitCode = 0;

  std::deque<MSG> queue;
  std::size_t queueSeen = 0;  // messages at the front already seen by PeekMessageW
  std::deque<std::function<void()>> waitActions;
  bool failNextWait = false;
  std::vector<MSG> dispatched;
  std::deque<std::function<void()>> inputIdleActions;

  std::vector<standin::ThreadStart> threads;
  bool failCreateThread = false;
  DWORD clock = 0;
  std::function<void()> onSleep;

  std::wstring modulePath;
  bool wineStyleModulePath = false;
  bool failModulePath = false;
  int modulePathQueries = 0;
  DWORD lastError = 0;

  struct WindowClass {
    std::wstring name;
    WNDPROC proc;
    HINSTANCE instance;
  };
  std::vector<WindowClass> classes;
  std::vector<std::unique_ptr<StandInWindow>> messageWindows;
  struct Timer {
    HWND window;
    UINT_PTR id;
    DWORD due;
    DWORD period;
  };
  std::vector<Timer> timers;
  LONG messageTime = 0;

  HWND rawTarget = nullptr;
  bool failRawInput = false;
  standin::InputOrder order = standin::InputOrder::Windows;
  DWORD hooksAheadMs = 0;
  DWORD hooksBehindMs = 0;
  // Windows' default when LowLevelHooksTimeout is not set.
  DWORD hookTimeoutMs = 300;
  bool remappingHookAhead = false;
  bool secureDesktop = false;
  HWND foregroundBeforeSecureDesktop = nullptr;
  bool lacksSetProcessInformation = false;
  std::function<void()> duringNextSendInput;
  std::deque<MSG> lateRawInput;  // posted once the hooks ahead are done, by message time
  std::vector<std::unique_ptr<StandInRawInput>> rawInputs;
  std::set<const StandInRawInput*> rawHandles;
  std::size_t rawRetrieved = 0;  // sequence number of the last WM_INPUT taken off the queue
  struct DeferredEvent {
    BYTE vk;
    bool down;
    UINT message;
    WORD scan;
    std::size_t rawSequence;
    DWORD due;
    DWORD time;
  };
  std::deque<DeferredEvent> deferred;

  DWORD fileCreationError = 0;
  bool failFileWrites = false;
  int hookDepth = 0;
  int fileCallsInHook = 0;
  bool elevated = false;

  bool hookDropped = false;
  bool skipHook = false;
  int hookRequests = 0;

  std::vector<std::string> calls;
};

StandInHandle keyboardDevice{StandInHandle::Thread};

Desktop& desk() {
  static Desktop instance;
  return instance;
}

StandInModule launcherModule;

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

void PostMessageTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = desk().clock;
  desk().queue.push_back(msg);
}

// Windows' raw input names Shift, Ctrl and Alt without their side; the scan
// code and the E0 flag tell the side.
void NameModifierGenerically(RAWKEYBOARD& keyboard) {
  struct Generic {
    USHORT sided, generic, makeCode;
    bool e0;
  };
  static const Generic kModifiers[] = {
      {VK_LSHIFT, VK_SHIFT, 0x2A, false},    {VK_RSHIFT, VK_SHIFT, 0x36, false}, {VK_LCONTROL, VK_CONTROL, 0x1D, false},
      {VK_RCONTROL, VK_CONTROL, 0x1D, true}, {VK_LMENU, VK_MENU, 0x38, false},   {VK_RMENU, VK_MENU, 0x38, true},
  };
  for (const Generic& modifier : kModifiers) {
    if (keyboard.VKey != modifier.sided) continue;
    keyboard.VKey = modifier.generic;
    keyboard.MakeCode = modifier.makeCode;
    if (modifier.e0) keyboard.Flags = static_cast<USHORT>(keyboard.Flags | RI_KEY_E0);
  }
}

// The raw input of one keyboard event, posted now or delayMs later. Injected
// events come without a device on Windows; RAWKEYBOARD keeps only the low 32
// bits of the extra information.
std::size_t PostRawInput(BYTE vk, bool down, bool injected, UINT message, WORD scan, ULONG_PTR extra, DWORD delayMs) {
  Desktop& d = desk();
  if (!d.rawTarget) return 0;
  bool wine = d.order == standin::InputOrder::Wine;
  auto raw = std::make_unique<StandInRawInput>();
  raw->keyboard.VKey = vk;
  raw->keyboard.MakeCode = scan;
  raw->keyboard.ExtraInformation = static_cast<ULONG>(extra);
  raw->keyboard.Flags = down ? 0 : static_cast<USHORT>(RI_KEY_BREAK);
  if (!wine) NameModifierGenerically(raw->keyboard);
  raw->keyboard.Message = message;
  raw->header.dwType = RIM_TYPEKEYBOARD;
  raw->header.dwSize = sizeof(RAWINPUTHEADER);
  raw->header.hDevice = injected && !wine ? nullptr : &keyboardDevice;
  raw->sequence = d.rawInputs.size() + 1;
  d.rawHandles.insert(raw.get());
  d.rawInputs.push_back(std::move(raw));
  auto handle = reinterpret_cast<LPARAM>(d.rawInputs.back().get());
  if (delayMs == 0) {
    PostMessageTo(d.rawTarget, WM_INPUT, 1, handle);
  } else {
    MSG late{};
    late.hwnd = d.rawTarget;
    late.message = WM_INPUT;
    late.wParam = 1;
    late.lParam = handle;
    late.time = d.clock + delayMs;
    d.lateRawInput.push_back(late);
  }
  return d.rawInputs.size();
}

// Raw input whose time has come joins the queue, stamped with that time.
void PostLateRawInput() {
  Desktop& d = desk();
  while (!d.lateRawInput.empty() && static_cast<LONG>(d.clock - d.lateRawInput.front().time) >= 0) {
    if (d.lateRawInput.front().hwnd == d.rawTarget) d.queue.push_back(d.lateRawInput.front());
    d.lateRawInput.pop_front();
  }
}

void Deliver(BYTE vk, bool down, bool injected, UINT message, WORD scan, ULONG_PTR extra, DWORD time);

// One keyboard event through the hook chain; what is passed on updates the
// key state and reaches the foreground window. True when a hook swallowed it.
bool RunThroughHooks(BYTE vk, bool down, bool injected, UINT message, WORD scan, ULONG_PTR extra, DWORD time) {
  Desktop& d = desk();
  if (!injected && d.remappingHookAhead) {
    // Another launcher's hook, ahead of ours, takes the key for its own walk.
    Deliver(vk, down, true, message, scan, 0, d.clock);
    return true;
  }
  KBDLLHOOKSTRUCT event{};
  event.vkCode = vk;
  event.scanCode = scan;
  event.flags = injected ? LLKHF_INJECTED : 0u;
  event.time = time;
  event.dwExtraInfo = extra;
  bool swallowed = false;
  bool hidden = false;
  if (d.keyboardHook && !d.hookDropped) {
    HOOKPROC proc = d.keyboardHook->proc;
    d.hookEvents.push_back(event);
    ++d.hookDepth;
    std::size_t chainCallsBefore = d.chainCalls.size();
    DWORD calledAt = d.clock;
    LRESULT result = proc(HC_ACTION, message, reinterpret_cast<LPARAM>(&event));
    --d.hookDepth;
    if (d.order == standin::InputOrder::Windows && d.clock - calledAt > d.hookTimeoutMs) {
      // Windows stopped waiting: the event went on as if passed on, and the
      // hook is removed without a word.
      d.hookDropped = true;
      result = 0;
      d.chainCalls.push_back({d.keyboardHook.get(), HC_ACTION, message, reinterpret_cast<LPARAM>(&event)});
    }
    // Only a chain call with this very event counts; the hook's own injected
    // keys pass through here nested, with events of their own.
    bool passedOn = std::any_of(d.chainCalls.begin() + static_cast<long>(chainCallsBefore), d.chainCalls.end(),
                                [&](const standin::ChainCall& call) {
                                  return call.code == HC_ACTION && call.message == message &&
                                         call.event == reinterpret_cast<LPARAM>(&event);
                                });
    swallowed = result != 0;
    hidden = !swallowed && !passedOn;
    d.lastOutcome = swallowed  ? standin::Outcome::Swallowed
                    : passedOn ? standin::Outcome::PassedOn
                               : standin::Outcome::ReturnedWithoutChain;
    if (!injected) {
      if (!d.outcomes.empty()) d.outcomes += ' ';
      d.outcomes += swallowed ? 'S' : passedOn ? 'P' : 'R';
    }
  }
  if (swallowed) return true;
  // The hooks after ours, the launcher's own injected keys included.
  if (!hidden) d.clock += d.hooksBehindMs;
  if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) d.keyDown[vk] = true;
  if (message == WM_KEYUP || message == WM_SYSKEYUP) d.keyDown[vk] = false;
  if (d.foreground &&
      (message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_KEYUP || message == WM_SYSKEYUP))
    d.foreground->received.push_back({vk, down, injected, scan});
  return false;
}

// Under Wine, Wine gave up waiting for the hook: the key goes on as if passed on.
bool RunPastTheHook(BYTE vk, bool down, UINT message, WORD scan) {
  Desktop& d = desk();
  d.skipHook = false;
  bool wasDropped = d.hookDropped;
  d.hookDropped = true;
  bool swallowed = RunThroughHooks(vk, down, false, message, scan, 0, d.clock);
  d.hookDropped = wasDropped;
  return swallowed;
}

bool Blinded() {
  Desktop& d = desk();
  return d.secureDesktop || (d.foreground && d.foreground->blindsLauncher);
}

// Physical events bring their key's scan code and no extra information.
void Deliver(BYTE vk, bool down, bool injected, UINT message, WORD scan, ULONG_PTR extra, DWORD time) {
  Desktop& d = desk();
  if (!injected && Blinded()) {
    // No hook call, no raw input: the key goes straight to the window in front.
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) d.keyDown[vk] = true;
    if (message == WM_KEYUP || message == WM_SYSKEYUP) d.keyDown[vk] = false;
    if (d.foreground) d.foreground->received.push_back({vk, down, injected, scan});
    return;
  }
  if (d.order == standin::InputOrder::Windows) {
    // The hooks first; raw input only of what they passed on, once they are done.
    bool swallowed = d.skipHook && !injected ? RunPastTheHook(vk, down, message, scan)
                                             : RunThroughHooks(vk, down, injected, message, scan, extra, time);
    if (!swallowed) PostRawInput(vk, down, injected, message, scan, extra, d.hooksAheadMs);
    return;
  }
  std::size_t rawSequence = PostRawInput(vk, down, injected, message, scan, extra, 0);
  if (d.skipHook && !injected) {
    RunPastTheHook(vk, down, message, scan);
    return;
  }
  if (rawSequence && !injected) {
    d.deferred.push_back({vk, down, message, scan, rawSequence, d.clock + d.hooksAheadMs, time});
    return;
  }
  RunThroughHooks(vk, down, injected, message, scan, extra, time);
}

// Every key on a keyboard has a scan code; keys outside the table get one of their own.
void DeliverPhysical(BYTE vk, bool down, UINT message) {
  WORD scan = standin::ScanCodeOf(vk);
  Deliver(vk, down, false, message, scan ? scan : static_cast<WORD>(0x100 | vk), 0, desk().clock);
}

// Hook calls are sent messages: the launcher's thread takes them whenever it
// looks at its queue. With raw input ahead, a look that takes raw input gets
// the key's WM_INPUT before the hook is called for it.
void RunDeferredHookCalls(bool takesRawInput) {
  Desktop& d = desk();
  while (!d.deferred.empty() && (!takesRawInput || d.deferred.front().rawSequence <= d.rawRetrieved) &&
         static_cast<LONG>(d.clock - d.deferred.front().due) >= 0) {
    Desktop::DeferredEvent event = d.deferred.front();
    d.deferred.pop_front();
    RunThroughHooks(event.vk, event.down, false, event.message, event.scan, 0, event.time);
  }
}

// The queue-status bit a queued message sets.
UINT StatusOf(const MSG& message) { return message.message == WM_INPUT ? QS_RAWINPUT : QS_POSTMESSAGE; }

Desktop::Timer* NextTimer() {
  Desktop::Timer* next = nullptr;
  for (Desktop::Timer& timer : desk().timers)
    if (!next || static_cast<LONG>(timer.due - next->due) < 0) next = &timer;
  return next;
}

bool TimerDue() {
  Desktop::Timer* next = NextTimer();
  return next && static_cast<LONG>(desk().clock - next->due) >= 0;
}

HWND FindMessageWindow(HWND window) {
  for (const auto& w : desk().messageWindows)
    if (w.get() == window) return window;
  return nullptr;
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

HHOOK SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId) {
  Desktop& d = desk();
  Log("SetWindowsHookExW(" + std::to_string(idHook) + "," + std::to_string(threadId) + ")");
  ++d.hookRequests;
  if (d.failKeyboardHook || idHook != WH_KEYBOARD_LL || !proc) return nullptr;
  d.keyboardHook = std::make_unique<StandInHook>(StandInHook{proc});
  d.hookDropped = false;
  d.keyboardHookModule = module;
  return d.keyboardHook.get();
}

BOOL UnhookWindowsHookEx(HHOOK hook) {
  Desktop& d = desk();
  Log("UnhookWindowsHookEx");
  if (!hook || hook != d.keyboardHook.get()) return FALSE;
  bool wasDropped = d.hookDropped;
  d.keyboardHook.reset();
  d.hookDropped = false;
  // A hook the platform dropped has no valid handle left.
  return wasDropped ? FALSE : TRUE;
}

// No later hook in the chain: the event goes on to the foreground window.
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM message, LPARAM event) {
  desk().chainCalls.push_back({hook, code, message, event});
  return 0;
}

SHORT GetAsyncKeyState(int vk) { return IsDown(vk) ? static_cast<SHORT>(0x8000) : static_cast<SHORT>(0); }

UINT MapVirtualKeyW(UINT code, UINT mapType) {
  if (mapType != MAPVK_VK_TO_VSC || code > 0xFF) return 0;
  return standin::ScanCodeOf(static_cast<BYTE>(code));
}

UINT SendInput(UINT count, INPUT* inputs, int size) {
  Desktop& d = desk();
  ++d.sendInputCalls;
  if (size != static_cast<int>(sizeof(INPUT)) || !inputs) return 0;
  // Input to a desktop or a window the launcher may not reach is refused whole.
  if (Blinded()) return 0;
  if (d.duringNextSendInput) {
    // Keys typed just before this input: they go first.
    std::function<void()> typing = std::move(d.duringNextSendInput);
    d.duringNextSendInput = nullptr;
    typing();
  }
  for (UINT i = 0; i < count; ++i) {
    const INPUT& input = inputs[i];
    // Keys go by virtual-key code; a scan code, extra information and a time of the sender's own ride along.
    if (input.type != INPUT_KEYBOARD || (input.ki.dwFlags & ~(KEYEVENTF_KEYUP | KEYEVENTF_EXTENDEDKEY)) != 0) return i;
    auto vk = static_cast<BYTE>(input.ki.wVk);
    bool down = (input.ki.dwFlags & KEYEVENTF_KEYUP) == 0;
    // Wine queues an injected event behind the keys already waiting for the
    // hooks, and serves their hook calls while SendInput waits: inside it.
    if (d.order == standin::InputOrder::Wine) RunDeferredHookCalls(false);
    d.injected.push_back({vk, down, true, input.ki.wScan});
    Deliver(vk, down, true, MessageFor(vk, down), input.ki.wScan, input.ki.dwExtraInfo,
            input.ki.time ? input.ki.time : d.clock);
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
  if (d.failClientStart || !processInformation) {
    d.lastError = d.clientStartError;
    return FALSE;
  }
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
  static const char* const kNames[] = {"CloseHandle(process)", "CloseHandle(thread)", "CloseHandle(file)",
                                       "CloseHandle(token)"};
  Log(kNames[handle->kind]);
  if (handle->kind == StandInHandle::File) close(handle->fd);
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
  Desktop& d = desk();
  Log("WaitForInputIdle(" + std::to_string(milliseconds) + ")");
  if (process != d.clientProcess) return WAIT_FAILED;
  while (!d.inputIdleActions.empty()) {
    std::function<void()> action = std::move(d.inputIdleActions.front());
    d.inputIdleActions.pop_front();
    action();
  }
  return 0;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask) {
  Desktop& d = desk();
  // Hook calls and timers must always wake the launcher.
  constexpr DWORD kAlways = QS_SENDMESSAGE | QS_TIMER | QS_POSTMESSAGE;
  bool asExpected = count == 1 && handles && handles[0] == d.clientProcess && !waitAll && milliseconds == INFINITE &&
                    (wakeMask & kAlways) == kAlways && (wakeMask & ~QS_ALLINPUT) == 0;
  Log(asExpected ? "MsgWaitForMultipleObjects" : "MsgWaitForMultipleObjects(unexpected arguments)");
  for (;;) {
    if (d.failNextWait) {
      d.failNextWait = false;
      return WAIT_FAILED;
    }
    if (d.clientExited) return WAIT_OBJECT_0;
    // Only what arrived since the last look at the queue wakes the thread.
    bool news = std::any_of(d.queue.begin() + static_cast<long>(d.queueSeen), d.queue.end(),
                            [wakeMask](const MSG& queued) { return (StatusOf(queued) & wakeMask) != 0; });
    if (news || !d.deferred.empty() || TimerDue()) return WAIT_OBJECT_0 + 1;
    if (d.waitActions.empty()) {
      // Nothing else will happen: the wait lasts until the next timer is due,
      // or raw input still held up by the hooks ahead arrives.
      Desktop::Timer* next = NextTimer();
      if (!next && d.lateRawInput.empty()) return WAIT_FAILED;
      DWORD until = next ? next->due : d.lateRawInput.front().time;
      if (!d.lateRawInput.empty() && static_cast<LONG>(d.lateRawInput.front().time - until) < 0)
        until = d.lateRawInput.front().time;
      d.clock = until;
      PostLateRawInput();
      if (!TimerDue() && !(wakeMask & QS_RAWINPUT)) continue;
      return WAIT_OBJECT_0 + 1;
    }
    std::function<void()> action = std::move(d.waitActions.front());
    d.waitActions.pop_front();
    action();
  }
}

BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  Desktop& d = desk();
  if ((removeFlags & 0xFFFF) != PM_REMOVE) Log("PeekMessageW(unexpected arguments)");
  // PM_QS_* are the QS_* bits moved to the high word; none means all.
  UINT status = removeFlags >> 16 ? removeFlags >> 16 : QS_ALLINPUT;
  if (!filterMin && !filterMax) filterMax = ~0u;
  auto wanted = [&](UINT id, HWND target, UINT bit) {
    return (status & bit) && id >= filterMin && id <= filterMax && (!window || target == window);
  };
  RunDeferredHookCalls((status & QS_RAWINPUT) && WM_INPUT >= filterMin && WM_INPUT <= filterMax);
  // Looking at the queue makes everything in it old news for the next wait.
  d.queueSeen = d.queue.size();
  auto queued = std::find_if(d.queue.begin(), d.queue.end(), [&](const MSG& candidate) {
    return wanted(candidate.message, candidate.hwnd, StatusOf(candidate));
  });
  if (queued != d.queue.end()) {
    *message = *queued;
    d.queue.erase(queued);
    --d.queueSeen;
  } else {
    // Timer messages come only when nothing else is waiting.
    Desktop::Timer* timer = TimerDue() ? NextTimer() : nullptr;
    if (!timer || !wanted(WM_TIMER, timer->window, QS_TIMER)) return FALSE;
    timer->due = d.clock + timer->period;
    *message = MSG{};
    message->hwnd = timer->window;
    message->message = WM_TIMER;
    message->wParam = timer->id;
    message->time = d.clock;
  }
  d.messageTime = static_cast<LONG>(message->time);
  if (message->message == WM_INPUT) d.rawRetrieved = reinterpret_cast<StandInRawInput*>(message->lParam)->sequence;
  return TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* message) {
  desk().dispatched.push_back(*message);
  HWND target = FindMessageWindow(message->hwnd);
  if (target && target->proc) return target->proc(target, message->message, message->wParam, message->lParam);
  return 0;
}

LONG GetMessageTime() { return desk().messageTime; }

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!FindMessageWindow(window)) return FALSE;
  PostMessageTo(window, message, wParam, lParam);
  return TRUE;
}

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass) {
  Desktop& d = desk();
  Log("RegisterClassExW");
  if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXW) || !windowClass->lpfnWndProc ||
      !windowClass->lpszClassName)
    return 0;
  for (const Desktop::WindowClass& known : d.classes)
    if (known.name == windowClass->lpszClassName) return 0;
  d.classes.push_back({windowClass->lpszClassName, windowClass->lpfnWndProc, windowClass->hInstance});
  return static_cast<ATOM>(0xC000 + d.classes.size());
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance) {
  Desktop& d = desk();
  Log("UnregisterClassW");
  for (auto known = d.classes.begin(); known != d.classes.end(); ++known) {
    if (className && known->name == className && known->instance == instance) {
      d.classes.erase(known);
      return TRUE;
    }
  }
  return FALSE;
}

HWND CreateWindowExW(DWORD, LPCWSTR className, LPCWSTR windowName, DWORD, int, int, int, int, HWND parent, void*,
                     HINSTANCE, LPVOID) {
  Desktop& d = desk();
  Log(parent == HWND_MESSAGE ? "CreateWindowExW(HWND_MESSAGE)" : "CreateWindowExW(unexpected parent)");
  // The launcher opens no window anyone could see.
  if (parent != HWND_MESSAGE || !className) return nullptr;
  for (const Desktop::WindowClass& known : d.classes) {
    if (known.name != className) continue;
    auto window = std::make_unique<StandInWindow>(
        StandInWindow{0, windowName ? windowName : L"", false, nullptr, nullptr, 0, {}, known.proc});
    d.messageWindows.push_back(std::move(window));
    return d.messageWindows.back().get();
  }
  return nullptr;
}

BOOL DestroyWindow(HWND window) {
  Desktop& d = desk();
  Log("DestroyWindow");
  if (!FindMessageWindow(window)) return FALSE;
  if (d.rawTarget == window) d.rawTarget = nullptr;
  d.timers.erase(std::remove_if(d.timers.begin(), d.timers.end(),
                                [window](const Desktop::Timer& timer) { return timer.window == window; }),
                 d.timers.end());
  d.queue.erase(
      std::remove_if(d.queue.begin(), d.queue.end(), [window](const MSG& message) { return message.hwnd == window; }),
      d.queue.end());
  d.queueSeen = std::min(d.queueSeen, d.queue.size());
  d.messageWindows.erase(
      std::remove_if(d.messageWindows.begin(), d.messageWindows.end(),
                     [window](const std::unique_ptr<StandInWindow>& w) { return w.get() == window; }),
      d.messageWindows.end());
  return TRUE;
}

LRESULT DefWindowProcW(HWND, UINT, WPARAM, LPARAM) { return 0; }

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  Desktop& d = desk();
  if (!FindMessageWindow(window) || id == 0 || proc) return 0;
  for (Desktop::Timer& timer : d.timers) {
    if (timer.window == window && timer.id == id) {
      timer.due = d.clock + elapse;
      timer.period = elapse;
      return id;
    }
  }
  d.timers.push_back({window, id, d.clock + elapse, elapse});
  return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  Desktop& d = desk();
  auto timer = std::find_if(d.timers.begin(), d.timers.end(),
                            [&](const Desktop::Timer& t) { return t.window == window && t.id == id; });
  if (timer == d.timers.end()) return FALSE;
  d.timers.erase(timer);
  return TRUE;
}

BOOL RegisterRawInputDevices(const RAWINPUTDEVICE* devices, UINT count, UINT size) {
  Desktop& d = desk();
  if (!devices || count != 1 || size != sizeof(RAWINPUTDEVICE)) {
    Log("RegisterRawInputDevices(unexpected arguments)");
    return FALSE;
  }
  const RAWINPUTDEVICE& device = devices[0];
  Log("RegisterRawInputDevices(" + Hex(device.dwFlags) + ")");
  if (d.failRawInput || device.usUsagePage != 1 || device.usUsage != 6) return FALSE;
  if (device.dwFlags == RIDEV_REMOVE) {
    // Removing takes no target window.
    if (device.hwndTarget || !d.rawTarget) return FALSE;
    d.rawTarget = nullptr;
    return TRUE;
  }
  // Input in the background needs a window to go to.
  if (device.dwFlags != RIDEV_INPUTSINK || !FindMessageWindow(device.hwndTarget)) return FALSE;
  d.rawTarget = device.hwndTarget;
  return TRUE;
}

UINT GetRawInputData(HRAWINPUT input, UINT command, LPVOID data, UINT* size, UINT headerSize) {
  Desktop& d = desk();
  const UINT failed = static_cast<UINT>(-1);
  bool known = d.rawHandles.count(input) != 0;
  if (!known || !size || headerSize != sizeof(RAWINPUTHEADER) || (command != RID_HEADER && command != RID_INPUT))
    return failed;
  // A keyboard record is its header and the keyboard part, without the rest of the union.
  const UINT needed = command == RID_HEADER ? sizeof(RAWINPUTHEADER) : sizeof(RAWINPUTHEADER) + sizeof(RAWKEYBOARD);
  if (!data) {
    *size = needed;
    return 0;
  }
  if (*size < needed) return failed;
  std::memcpy(data, &input->header, sizeof(RAWINPUTHEADER));
  if (command == RID_INPUT)
    std::memcpy(&static_cast<RAWINPUT*>(data)->data.keyboard, &input->keyboard, sizeof(RAWKEYBOARD));
  return needed;
}

DWORD GetTickCount() { return desk().clock; }

namespace {
StandInModule kernel32Module;
StandInModule ntdllModule;
LRESULT WineGetVersionStandIn() { return 0; }

BOOL WINAPI SetProcessInformationStandIn(HANDLE process, PROCESS_INFORMATION_CLASS information, LPVOID data,
                                         DWORD size) {
  std::string call = "SetProcessInformation(";
  if (process == GetCurrentProcess() && information == ProcessPowerThrottling && data &&
      size == sizeof(PROCESS_POWER_THROTTLING_STATE)) {
    const auto* state = static_cast<const PROCESS_POWER_THROTTLING_STATE*>(data);
    call += "throttling," + std::to_string(state->Version) + "," + Hex(state->ControlMask) + "," +
            Hex(state->StateMask) + ")";
  } else {
    call += "unexpected arguments)";
  }
  Log(call);
  return TRUE;
}
}  // namespace

HMODULE GetModuleHandleW(LPCWSTR name) {
  if (!name) return &launcherModule;
  std::string lower = Narrow(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  if (lower == "ntdll.dll") return &ntdllModule;
  return lower == "kernel32.dll" ? &kernel32Module : nullptr;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
  // Wine's own export tells a program it runs under Wine.
  if (module == &ntdllModule && name && std::string(name) == "wine_get_version")
    return desk().order == standin::InputOrder::Wine ? WineGetVersionStandIn : nullptr;
  if (module != &kernel32Module || !name || std::string(name) != "SetProcessInformation" ||
      desk().lacksSetProcessInformation)
    return nullptr;
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(SetProcessInformationStandIn));
}

namespace {

StandInHandle* OpenFile(HANDLE handle) {
  Desktop& d = desk();
  if (d.hookDepth > 0) ++d.fileCallsInHook;
  bool open = std::find(d.openHandles.begin(), d.openHandles.end(), handle) != d.openHandles.end();
  return open && handle->kind == StandInHandle::File ? handle : nullptr;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD, SECURITY_ATTRIBUTES*, DWORD disposition, DWORD, HANDLE) {
  Desktop& d = desk();
  if (d.hookDepth > 0) ++d.fileCallsInHook;
  if (d.fileCreationError || !fileName || disposition != OPEN_ALWAYS || access != (GENERIC_READ | GENERIC_WRITE)) {
    d.lastError = d.fileCreationError ? d.fileCreationError : ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  std::string path = Narrow(fileName);
  std::replace(path.begin(), path.end(), '\\', '/');
  int fd = open(path.c_str(), O_RDWR | O_CREAT, 0644);
  if (fd < 0) {
    d.lastError = ERROR_ACCESS_DENIED;
    return INVALID_HANDLE_VALUE;
  }
  StandInHandle* file = NewHandle(StandInHandle::File);
  file->fd = fd;
  return file;
}

BOOL GetFileSizeEx(HANDLE handle, LARGE_INTEGER* size) {
  StandInHandle* file = OpenFile(handle);
  if (!file || !size) return FALSE;
  off_t end = lseek(file->fd, 0, SEEK_END);
  size->QuadPart = end;
  return end >= 0;
}

BOOL SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD moveMethod) {
  StandInHandle* file = OpenFile(handle);
  if (!file || (moveMethod != FILE_BEGIN && moveMethod != FILE_END)) return FALSE;
  off_t at = lseek(file->fd, static_cast<off_t>(distance.QuadPart), moveMethod == FILE_BEGIN ? SEEK_SET : SEEK_END);
  if (newPosition) newPosition->QuadPart = at;
  return at >= 0;
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, DWORD* read, void* overlapped) {
  StandInHandle* file = OpenFile(handle);
  if (!file || !buffer || !read || overlapped) return FALSE;
  ssize_t count = ::read(file->fd, buffer, toRead);
  *read = count > 0 ? static_cast<DWORD>(count) : 0;
  return count >= 0;
}

BOOL WriteFile(HANDLE handle, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped) {
  Desktop& d = desk();
  StandInHandle* file = OpenFile(handle);
  if (!file || !buffer || !written || overlapped) return FALSE;
  *written = 0;
  if (d.failFileWrites) {
    d.lastError = ERROR_DISK_FULL;
    return FALSE;
  }
  ssize_t count = write(file->fd, buffer, toWrite);
  *written = count > 0 ? static_cast<DWORD>(count) : 0;
  return count == static_cast<ssize_t>(toWrite);
}

BOOL SetEndOfFile(HANDLE handle) {
  StandInHandle* file = OpenFile(handle);
  if (!file) return FALSE;
  off_t at = lseek(file->fd, 0, SEEK_CUR);
  return at >= 0 && ftruncate(file->fd, at) == 0;
}

// The launcher's clock starts at 2026-12-11 08:00:00.000.
void GetLocalTime(SYSTEMTIME* time) {
  DWORD ms = desk().clock;
  *time = SYSTEMTIME{2026,
                     12,
                     5,
                     11,
                     static_cast<WORD>(8 + ms / 3600000 % 16),
                     static_cast<WORD>(ms / 60000 % 60),
                     static_cast<WORD>(ms / 1000 % 60),
                     static_cast<WORD>(ms % 1000)};
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }

BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token) {
  if (process != GetCurrentProcess() || access != TOKEN_QUERY || !token) return FALSE;
  *token = NewHandle(StandInHandle::Token);
  return TRUE;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length, DWORD* returned) {
  Desktop& d = desk();
  bool open = std::find(d.openHandles.begin(), d.openHandles.end(), token) != d.openHandles.end();
  if (!open || token->kind != StandInHandle::Token || infoClass != TokenElevation || !returned) return FALSE;
  *returned = sizeof(TOKEN_ELEVATION);
  if (!info || length < sizeof(TOKEN_ELEVATION)) return FALSE;
  static_cast<TOKEN_ELEVATION*>(info)->TokenIsElevated = d.elevated ? 1 : 0;
  return TRUE;
}

// Windows 10 22H2.
extern "C" LONG RtlGetVersion(OSVERSIONINFOW* version) {
  if (!version || version->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) return -1;
  version->dwMajorVersion = 10;
  version->dwMinorVersion = 0;
  version->dwBuildNumber = 19045;
  version->dwPlatformId = 2;
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
  if ((module && module != &launcherModule) || d.failModulePath || size == 0) {
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

// The settings file's text as the platform reader sees it: UTF-16 (either byte
// order) and UTF-8 with a byte-order mark, anything else byte by byte.
static std::string ProfileText(std::ifstream& file) {
  std::ostringstream read;
  read << file.rdbuf();
  std::string bytes = read.str();
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return bytes.substr(3);
  bool little = bytes.rfind("\xFF\xFE", 0) == 0;
  bool big = bytes.rfind("\xFE\xFF", 0) == 0;
  if (!little && !big) return bytes;
  std::wstring wide;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    auto low = static_cast<unsigned char>(bytes[little ? i : i + 1]);
    auto high = static_cast<unsigned char>(bytes[little ? i + 1 : i]);
    wide += static_cast<wchar_t>(high << 8 | low);
  }
  return Narrow(wide);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, int defaultValue, LPCWSTR fileName) {
  auto fallback = static_cast<UINT>(defaultValue);
  std::string path = Narrow(fileName ? fileName : L"");
  std::replace(path.begin(), path.end(), '\\', '/');  // the launcher joins paths with backslashes
  std::ifstream file(path, std::ios::binary);
  if (!file || !section || !key) return fallback;
  const std::string wantedSection = Narrow(section);
  const std::string wantedKey = Narrow(key);
  std::istringstream text(ProfileText(file));
  std::string line;
  bool inSection = false;
  while (std::getline(text, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      std::size_t close = line.find(']');
      inSection = close != std::string::npos && SameName(Trim(line.substr(1, close - 1)), wantedSection);
      continue;
    }
    std::size_t equals = line.find('=');
    if (!inSection || equals == std::string::npos || !SameName(Trim(line.substr(0, equals)), wantedKey)) continue;
    std::string value = Trim(line.substr(equals + 1));
    if (value.empty()) return fallback;
    // A value in matching quotes, single or double, loses them.
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    // As the platform reader: an optional sign, then 0x, 0o or 0b for hex,
    // octal or binary, else decimal; digits up to the first that is not one.
    // Text that is no number reads as 0.
    std::size_t i = 0;
    bool negative = !value.empty() && value[0] == '-';
    if (!value.empty() && (value[0] == '-' || value[0] == '+')) i = 1;
    UINT base = 10;
    if (i + 1 < value.size() && value[i] == '0') {
      char prefix = value[i + 1];  // lower case only: 0X10 reads as 0
      base = prefix == 'x' ? 16u : prefix == 'o' ? 8u : prefix == 'b' ? 2u : 10u;
      if (base != 10) i += 2;
    }
    UINT number = 0;
    for (; i < value.size(); ++i) {
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(value[i])));
      UINT digit = std::isdigit(static_cast<unsigned char>(c)) ? static_cast<UINT>(c - '0')
                   : c >= 'a' && c <= 'f'                      ? static_cast<UINT>(c - 'a' + 10)
                                                               : base;
      if (digit >= base) break;
      number = number * base + digit;
    }
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

void Press(BYTE vk) { DeliverPhysical(vk, true, MessageFor(vk, true)); }
void Release(BYTE vk) { DeliverPhysical(vk, false, MessageFor(vk, false)); }
void Repeat(BYTE vk) { Press(vk); }

void SendPhysical(UINT message, BYTE vk) {
  DeliverPhysical(vk, message == WM_KEYDOWN || message == WM_SYSKEYDOWN, message);
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
    case VK_LWIN:
      return "Win";
    case VK_RWIN:
      return "RWin";
    case VK_PAUSE:
      return "Pause";
    case VK_SCROLL:
      return "Scroll";
    case VK_RETURN:
      return "Enter";
    case VK_ESCAPE:
      return "Esc";
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
const std::vector<KBDLLHOOKSTRUCT>& HookEvents() { return desk().hookEvents; }

WORD ScanCodeOf(BYTE vk) {
  static const char* const kLetters =
      "\x1E\x30\x2E\x20\x12\x21\x22\x23\x17\x24\x25\x26\x32\x31\x18\x19\x10\x13\x1F"
      "\x14\x16\x2F\x11\x2D\x15\x2C";
  if (vk >= 'A' && vk <= 'Z') return static_cast<BYTE>(kLetters[vk - 'A']);
  if (vk >= '1' && vk <= '9') return static_cast<WORD>(0x02 + vk - '1');
  switch (vk) {
    case '0':
      return 0x0B;
    case VK_SHIFT:
    case VK_LSHIFT:
      return 0x2A;
    case VK_RSHIFT:
      return 0x36;
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL:
      return 0x1D;
    case VK_MENU:
    case VK_LMENU:
    case VK_RMENU:
      return 0x38;
    case VK_LWIN:
      return 0x5B;
    case VK_RWIN:
      return 0x5C;
    case VK_PAUSE:
      return 0x45;
    case VK_SCROLL:
      return 0x46;
    case 0x20:
      return 0x39;
    case 0x25:
      return 0x4B;
    case 0x26:
      return 0x48;
    case 0x27:
      return 0x4D;
    case 0x28:
      return 0x50;
    default:
      return 0;
  }
}
bool LastSwallowed() { return desk().lastOutcome == Outcome::Swallowed; }

bool KeyboardHookInstalled() { return desk().keyboardHook != nullptr && !desk().hookDropped; }
int SendInputCalls() { return desk().sendInputCalls; }
void FailKeyboardHook(bool fail) { desk().failKeyboardHook = fail; }
void FailWinEventHooks(bool fail) { desk().failWinEventHooks = fail; }
const std::vector<WinEventHookRecord>& WinEventHooks() { return desk().eventHooks; }
const std::vector<ChainCall>& ChainCalls() { return desk().chainCalls; }
Outcome LastOutcome() { return desk().lastOutcome; }
const std::string& Outcomes() { return desk().outcomes; }
HMODULE KeyboardHookModule() { return desk().keyboardHookModule; }
HMODULE LauncherModule() { return &launcherModule; }

void FailClientStart(bool fail, DWORD error) {
  desk().failClientStart = fail;
  desk().clientStartError = error;
}
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
void OnInputIdleWait(std::function<void()> action) { desk().inputIdleActions.push_back(std::move(action)); }

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

void SetInputOrder(InputOrder order) { desk().order = order; }
void SetHooksAheadDelay(DWORD milliseconds) { desk().hooksAheadMs = milliseconds; }
const char* NameOf(InputOrder order) { return order == InputOrder::Windows ? "Windows" : "Wine"; }
void FailRawInput(bool fail) { desk().failRawInput = fail; }
bool RawInputRegistered() { return desk().rawTarget != nullptr; }
int MessageOnlyWindows() { return static_cast<int>(desk().messageWindows.size()); }
int TimersArmed() { return static_cast<int>(desk().timers.size()); }
void AdvanceClock(DWORD milliseconds) {
  desk().clock += milliseconds;
  PostLateRawInput();
}

void FailFileCreation(DWORD error) { desk().fileCreationError = error; }
void FailFileWrites(bool fail) { desk().failFileWrites = fail; }
int FileCallsInHook() { return desk().fileCallsInHook; }
void SetElevated(bool elevated) { desk().elevated = elevated; }

void DropKeyboardHook() { desk().hookDropped = true; }
void SetHooksBehindDelay(DWORD milliseconds) { desk().hooksBehindMs = milliseconds; }
void SetHookTimeout(DWORD milliseconds) { desk().hookTimeoutMs = milliseconds; }
void SetRemappingHookAhead(bool on) { desk().remappingHookAhead = on; }
void SetBlindsLauncher(HWND window, bool blinds) { window->blindsLauncher = blinds; }

void SwitchToSecureDesktop(bool secure) {
  Desktop& d = desk();
  if (secure == d.secureDesktop) return;
  d.secureDesktop = secure;
  // The launcher's desktop has no foreground window meanwhile.
  if (secure) d.foregroundBeforeSecureDesktop = d.foreground;
  d.foreground = secure ? nullptr : d.foregroundBeforeSecureDesktop;
}

void LackSetProcessInformation() { desk().lacksSetProcessInformation = true; }
void DuringNextSendInput(std::function<void()> typing) { desk().duringNextSendInput = std::move(typing); }
void SkipHookForNextKey() { desk().skipHook = true; }
int KeyboardHookRequests() { return desk().hookRequests; }

const std::vector<std::string>& Calls() { return desk().calls; }
void ClearCalls() { desk().calls.clear(); }

}  // namespace standin
