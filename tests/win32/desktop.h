// The scriptable desktop behind the stand-in <windows.h>: windows with their
// owning processes, the foreground, physical key states, one low-level
// keyboard hook, event hooks, a client process, a message queue, a virtual
// clock and a log of the platform calls the launcher makes.
//
// It behaves as Windows does where the launcher relies on it: SendInput feeds
// each injected event straight back through the installed hook, flagged
// LLKHF_INJECTED, and through the hooks after it, before it returns; an event
// the hook passes on reaches the window in the foreground and updates the
// asynchronous key state. An injected event carries the time its sender chose.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace standin {

// Back to an empty desktop: no windows, no hooks, no calls, clock at 0.
void Reset();

// --- Windows -----------------------------------------------------------
HWND AddWindow(DWORD processId, const std::wstring& title, bool visible = true, HWND parent = nullptr,
               HWND owner = nullptr);
void RemoveWindow(HWND window);
void SetForeground(HWND window);
// Shows or hides a window; showing raises EVENT_OBJECT_SHOW.
void SetVisible(HWND window, bool visible);
// The window's own code changes its title; raises EVENT_OBJECT_NAMECHANGE.
void RetitleFromOwner(HWND window, const std::wstring& title);
std::wstring TitleOf(HWND window);
// How many times SetWindowTextW was called on the window.
int TitleSets(HWND window);

// --- Keyboard ------------------------------------------------------------
// Physical key events, as the keyboard driver produces them.
void Press(BYTE vk);
void Release(BYTE vk);
void Repeat(BYTE vk);  // auto-repeat: another key-down of a held key
// Sends one physical event with any message identifier.
void SendPhysical(UINT message, BYTE vk);
bool IsKeyDown(BYTE vk);

struct Delivered {
  BYTE vk;
  bool down;
  bool injected;
  WORD scanCode;  // as in the key message's lParam
};
// Events that reached a window while it was in the foreground.
const std::vector<Delivered>& ReceivedBy(HWND window);
// The same as text: "W+ Q+" for injected keys, "w+ ctrl-" for physical ones.
std::string Stream(HWND window);
std::string KeyName(BYTE vk);
// Every event the launcher injected, in order, whoever received it.
const std::vector<Delivered>& Injected();
// The scan codes of the US layout, as MapVirtualKeyW gives them; physical
// keys bring theirs, injected keys the one they were sent with.
WORD ScanCodeOf(BYTE vk);
// Each hook call's record, in order, injected events included.
const std::vector<KBDLLHOOKSTRUCT>& HookEvents();
// Result of the last physical or injected event: true when a hook swallowed it.
bool LastSwallowed();

// --- Hooks ---------------------------------------------------------------
bool KeyboardHookInstalled();
int SendInputCalls();
void FailKeyboardHook(bool fail);
void FailWinEventHooks(bool fail);
struct WinEventHookRecord {
  DWORD eventMin, eventMax;
  HMODULE module;
  WINEVENTPROC proc;
  DWORD processId, threadId, flags;
  bool removed;
};
const std::vector<WinEventHookRecord>& WinEventHooks();
// Each CallNextHookEx call, in order.
struct ChainCall {
  HHOOK hook;
  int code;
  WPARAM message;
  LPARAM event;
};
const std::vector<ChainCall>& ChainCalls();
// What the hook did with a key event. Returning 0 without calling the chain
// reaches the window too, but hides the event from every later hook.
enum class Outcome { Swallowed, PassedOn, ReturnedWithoutChain };
// The last event's outcome, physical or injected.
Outcome LastOutcome();
// The outcome of each physical event since Reset, one letter each: "S"
// swallowed, "P" passed on through the chain, "R" returned without the chain;
// "S P" for a swallowed event followed by a passed one.
const std::string& Outcomes();
// The module handle SetWindowsHookExW was given for the keyboard hook.
HMODULE KeyboardHookModule();
// The launcher's own instance handle, as the loader passes it to wWinMain.
HMODULE LauncherModule();

// --- Client process --------------------------------------------------------
struct ProcessStart {
  std::wstring applicationName;
  std::wstring commandLine;
  std::wstring currentDirectory;
  bool inheritHandles;
  DWORD creationFlags;
  bool defaultEnvironment;
  bool noSecurityAttributes;
  DWORD startupInfoSize;
  bool startupInfoOtherwiseZero;
};
// A start that fails sets the error GetLastError reports.
void FailClientStart(bool fail, DWORD error = ERROR_FILE_NOT_FOUND);
DWORD ClientProcessId();  // the ID the next successful start hands out
const std::vector<ProcessStart>& ProcessStarts();
void ExitClient();  // the client's process handle becomes signalled
bool ClientTerminated(UINT* exitCode = nullptr);
int OpenHandles();  // handles handed out and not yet closed

// --- Message queue and waits ------------------------------------------------
void PostToLauncher(UINT message);
// Each call of MsgWaitForMultipleObjects that finds nothing to report runs the
// next of these; with none left the wait fails. As on Windows, the wait wakes
// only for messages its mask includes that were posted since the last
// PeekMessageW, not for those left behind in the queue; PeekMessageW honours a
// window, a message range and PM_QS_* flags.
void OnWait(std::function<void()> action);
void FailNextWait();
std::vector<MSG>& Dispatched();
// Runs during WaitForInputIdle, in order: the wait services the hook as the
// platform does, so keys pressed here go through it.
void OnInputIdleWait(std::function<void()> action);

// --- Threads and time ----------------------------------------------------
struct ThreadStart {
  LPTHREAD_START_ROUTINE start;
  LPVOID parameter;
  DWORD flags;
};
const std::vector<ThreadStart>& ThreadsStarted();
void FailCreateThread(bool fail);
DWORD Clock();
// Runs after each Sleep, with the clock already advanced.
void OnSleep(std::function<void()> action);

// --- Module path ------------------------------------------------------------
// The path GetModuleFileNameW reports; a path that does not fit the buffer
// comes back cut as Windows cuts it, or as Wine does when wineStyle is set.
void SetModulePath(const std::wstring& path, bool wineStyle = false);
void FailModulePath();
int ModulePathQueries();

// --- Raw input, message-only windows and timers ------------------------------
// How keyboard input reaches the low-level hook and the raw input window.
// Windows (the default): each event goes through the hooks first, and only
// what they pass on makes raw input, posted once every hook is done and
// stamped with the clock then; injected events carry no device. Wine: every
// event makes raw input first, with the event's own time, and the hook call
// waits until the launcher has taken that WM_INPUT off its queue and looks at
// the queue again, or looks at it without taking raw input; injected events
// carry a device. Under both, injected events bring the scan code they were
// sent with, and the low 32 bits of their extra information.
// Under Wine's order, ntdll.dll exports wine_get_version, as Wine's does.
enum class InputOrder { Windows, Wine };
void SetInputOrder(InputOrder order);
// Hooks called before ours hold each physical key this long: under Windows'
// order its raw input is posted that much after the hook's time, under
// Wine's our hook is called that much after the raw input.
void SetHooksAheadDelay(DWORD milliseconds);
// "Windows" or "Wine", for the names of tests that run under each.
const char* NameOf(InputOrder order);
void FailRawInput(bool fail);
bool RawInputRegistered();
int MessageOnlyWindows();
int TimersArmed();
// Moves the clock on; timers that fall due post WM_TIMER when the launcher
// next looks at its queue.
void AdvanceClock(DWORD milliseconds);

// --- Losing the keyboard hook ---------------------------------------------------
// The platform silently drops the installed hook: the chain stops calling it,
// keys go straight to the window in front, and its handle no longer unhooks.
void DropKeyboardHook();
// Wine gives up waiting for a busy hook: the next physical key goes on as if
// the hook had passed it on, without the hook ever seeing it.
void SkipHookForNextKey();
// How many times a keyboard hook was asked for.
int KeyboardHookRequests();

// --- Other programs in the way --------------------------------------------------
// Hooks called after ours take this long over each event that gets past ours,
// the launcher's own injected keys included: SendInput returns only once
// every hook has had its event.
void SetHooksBehindDelay(DWORD milliseconds);
// Under Windows' order, a hook call that lasts longer than this is removed
// without a word, and its event goes on as if passed on. Windows reads
// LowLevelHooksTimeout under HKCU\Control Panel\Desktop: 300 ms when it is
// not set, 1000 ms at most since Windows 10 1709. Wine never removes a hook.
void SetHookTimeout(DWORD milliseconds);
// Another launcher's hook, ahead of ours, takes every physical key and
// injects the same key instead, as it does walking its own client.
void SetRemappingHookAhead(bool on);
// While a window that blinds the launcher is in front (an elevated window, a
// hung window's ghost), or the secure desktop is up, physical keys reach no
// hook of the launcher's and make no raw input, and SendInput inserts nothing.
// Key-ups made meanwhile are never seen.
void SetBlindsLauncher(HWND window, bool blinds);
// The secure desktop (a UAC prompt, Ctrl+Alt+Del, the lock screen): the
// launcher's desktop has no foreground window until it is switched back.
void SwitchToSecureDesktop(bool secure);
// An older Windows without SetProcessInformation.
void LackSetProcessInformation();
// Keys the player types just before the launcher's next SendInput inserts its
// input: they come ahead of it in the input stream, so their hook calls run
// inside that SendInput.
void DuringNextSendInput(std::function<void()> typing);

// --- Files and the launcher's process ---------------------------------------------
// Files are the host's, with backslashes read as slashes.
// CreateFileW refuses every file with this error (0: none), as a folder the
// player may not write to does.
void FailFileCreation(DWORD error);
// WriteFile fails, as on a full disk.
void FailFileWrites(bool fail);
// File calls made while the keyboard hook was running.
int FileCallsInHook();
// The launcher's token says it is elevated; it is not by default.
void SetElevated(bool elevated);

// --- Call log ------------------------------------------------------------------
// The platform calls made since Reset, by name, in order ("CreateProcessW",
// "CloseHandle(thread)", "SetWinEventHook(0x8002)", ...).
const std::vector<std::string>& Calls();
void ClearCalls();

}  // namespace standin
