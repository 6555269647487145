// Stand-in for the subset of <windows.h> the launcher uses, so the same
// sources build natively for unit tests. Types and constants carry the
// platform's names and values; the functions are served by the scriptable
// desktop in desktop.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG_PTR = std::uintptr_t;
using UINT = unsigned int;
using SHORT = std::int16_t;
using WCHAR = wchar_t;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;
using LPVOID = void*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using SIZE_T = std::size_t;
using UINT_PTR = std::uintptr_t;
using ATOM = WORD;
using USHORT = std::uint16_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;

struct StandInHandle;
using HANDLE = StandInHandle*;
struct StandInWindow;
using HWND = StandInWindow*;
struct StandInHook;
using HHOOK = StandInHook*;
struct StandInWinEventHook;
using HWINEVENTHOOK = StandInWinEventHook*;
struct StandInRawInput;
using HRAWINPUT = StandInRawInput*;
struct StandInModule;
using HINSTANCE = StandInModule*;
using HMODULE = HINSTANCE;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_BAD_EXE_FORMAT 193u
#define ERROR_ELEVATION_REQUIRED 740u
#define ERROR_DISK_FULL 112u

// Keyboard.
#define HC_ACTION 0
#define WH_KEYBOARD_LL 13
#define LLKHF_EXTENDED 0x00000001u
#define LLKHF_INJECTED 0x00000010u
#define WM_KEYDOWN 0x0100u
#define WM_KEYUP 0x0101u
#define WM_SYSKEYDOWN 0x0104u
#define WM_SYSKEYUP 0x0105u
#define WM_QUIT 0x0012u
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_ESCAPE 0x1B
#define VK_LWIN 0x5B
#define VK_RWIN 0x5C
#define VK_SCROLL 0x91
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5
#define INPUT_KEYBOARD 1u
#define KEYEVENTF_EXTENDEDKEY 0x0001u
#define KEYEVENTF_KEYUP 0x0002u
#define MAPVK_VK_TO_VSC 0u

struct KBDLLHOOKSTRUCT {
  DWORD vkCode;
  DWORD scanCode;
  DWORD flags;
  DWORD time;
  ULONG_PTR dwExtraInfo;
};

struct KEYBDINPUT {
  WORD wVk;
  WORD wScan;
  DWORD dwFlags;
  DWORD time;
  ULONG_PTR dwExtraInfo;
};

struct MOUSEINPUT {
  LONG dx;
  LONG dy;
  DWORD mouseData;
  DWORD dwFlags;
  DWORD time;
  ULONG_PTR dwExtraInfo;
};

struct INPUT {
  DWORD type;
  union {
    MOUSEINPUT mi;
    KEYBDINPUT ki;
  };
};

using HOOKPROC = LRESULT (*)(int, WPARAM, LPARAM);

HHOOK SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE module, DWORD threadId);
BOOL UnhookWindowsHookEx(HHOOK hook);
LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam);
SHORT GetAsyncKeyState(int vk);
UINT SendInput(UINT count, INPUT* inputs, int size);
UINT MapVirtualKeyW(UINT code, UINT mapType);

// Windows and titles.
#define GA_ROOT 2u
#define EVENT_OBJECT_SHOW 0x8002u
#define EVENT_OBJECT_NAMECHANGE 0x800Cu
#define WINEVENT_OUTOFCONTEXT 0x0000u
#define OBJID_WINDOW 0
#define CHILDID_SELF 0

using WNDENUMPROC = BOOL (*)(HWND, LPARAM);
using WINEVENTPROC = void (*)(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD);

HWND GetForegroundWindow();
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);
HWND GetAncestor(HWND window, UINT flags);
BOOL IsWindowVisible(HWND window);
int GetWindowTextW(HWND window, LPWSTR buffer, int size);
BOOL SetWindowTextW(HWND window, LPCWSTR text);
BOOL EnumWindows(WNDENUMPROC proc, LPARAM parameter);
HWINEVENTHOOK SetWinEventHook(DWORD eventMin, DWORD eventMax, HMODULE module, WINEVENTPROC proc, DWORD processId,
                              DWORD threadId, DWORD flags);
BOOL UnhookWinEvent(HWINEVENTHOOK hook);

// Processes, threads and the message queue.
#define PM_REMOVE 0x0001u
#define QS_KEY 0x0001u
#define QS_MOUSEMOVE 0x0002u
#define QS_MOUSEBUTTON 0x0004u
#define QS_POSTMESSAGE 0x0008u
#define QS_TIMER 0x0010u
#define QS_PAINT 0x0020u
#define QS_SENDMESSAGE 0x0040u
#define QS_HOTKEY 0x0080u
#define QS_RAWINPUT 0x0400u
#define QS_TOUCH 0x0800u
#define QS_POINTER 0x1000u
#define QS_INPUT (QS_MOUSEMOVE | QS_MOUSEBUTTON | QS_KEY | QS_RAWINPUT | QS_TOUCH | QS_POINTER)
#define QS_ALLINPUT (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY | QS_SENDMESSAGE)
#define MB_OK 0x00000000u
#define MB_ICONERROR 0x00000010u

struct SECURITY_ATTRIBUTES;

struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};

struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};

struct POINT {
  LONG x;
  LONG y;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID);

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, SECURITY_ATTRIBUTES* processAttributes,
                    SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInformation);
BOOL CloseHandle(HANDLE handle);
BOOL TerminateProcess(HANDLE process, UINT exitCode);
DWORD WaitForInputIdle(HANDLE process, DWORD milliseconds);
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask);
BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageW(const MSG* message);
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
HANDLE CreateThread(SECURITY_ATTRIBUTES* attributes, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, DWORD* threadId);
void Sleep(DWORD milliseconds);

// Module path and settings.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, int defaultValue, LPCWSTR fileName);
DWORD GetLastError();
DWORD GetTickCount();
// Calls looked up at run time, where an older system may lack them.
using FARPROC = LRESULT (*)();
HMODULE GetModuleHandleW(LPCWSTR name);
FARPROC GetProcAddress(HMODULE module, const char* name);
HANDLE GetCurrentProcess();
enum PROCESS_INFORMATION_CLASS {
  ProcessMemoryPriority,
  ProcessMemoryExhaustionInfo,
  ProcessAppMemoryInfo,
  ProcessInPrivateInfo,
  ProcessPowerThrottling
};
#define PROCESS_POWER_THROTTLING_CURRENT_VERSION 1u
#define PROCESS_POWER_THROTTLING_EXECUTION_SPEED 0x1u
struct PROCESS_POWER_THROTTLING_STATE {
  ULONG Version;
  ULONG ControlMask;
  ULONG StateMask;
};

// Files, the clock and the process's own rights.
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u
#define OPEN_ALWAYS 4u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_BEGIN 0u
#define FILE_END 2u
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define TOKEN_QUERY 0x0008u

union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};

struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};

enum TOKEN_INFORMATION_CLASS { TokenElevation = 20 };
struct TOKEN_ELEVATION {
  DWORD TokenIsElevated;
};

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition, DWORD moveMethod);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
BOOL SetEndOfFile(HANDLE file);
void GetLocalTime(SYSTEMTIME* time);
HANDLE GetCurrentProcess();
BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length, DWORD* returned);

// Message-only windows, timers and raw keyboard input.
#define HWND_MESSAGE (reinterpret_cast<HWND>(static_cast<std::intptr_t>(-3)))
#define WM_INPUT 0x00FFu
#define WM_TIMER 0x0113u
#define RIDEV_REMOVE 0x00000001u
#define RIDEV_INPUTSINK 0x00000100u
#define RID_HEADER 0x10000005u
#define RID_INPUT 0x10000003u
#define RIM_TYPEKEYBOARD 1u
#define RI_KEY_BREAK 1u
#define RI_KEY_E0 2u
#define WM_APP 0x8000u

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);
struct HICON__;
struct HCURSOR__;
struct HBRUSH__;

struct WNDCLASSEXW {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON__* hIcon;
  HCURSOR__* hCursor;
  HBRUSH__* hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
  HICON__* hIconSm;
};

struct RAWINPUTDEVICE {
  USHORT usUsagePage;
  USHORT usUsage;
  DWORD dwFlags;
  HWND hwndTarget;
};

struct RAWINPUTHEADER {
  DWORD dwType;
  DWORD dwSize;
  HANDLE hDevice;
  WPARAM wParam;
};

struct RAWKEYBOARD {
  USHORT MakeCode;
  USHORT Flags;
  USHORT Reserved;
  USHORT VKey;
  UINT Message;
  ULONG ExtraInformation;
};

struct RAWMOUSE_STANDIN {
  BYTE bytes[24];
};

struct RAWINPUT {
  RAWINPUTHEADER header;
  union {
    RAWMOUSE_STANDIN mouse;
    RAWKEYBOARD keyboard;
  } data;
};

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, void* menu, HINSTANCE instance, LPVOID parameter);
BOOL DestroyWindow(HWND window);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND window, UINT_PTR id);
LONG GetMessageTime();
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL RegisterRawInputDevices(const RAWINPUTDEVICE* devices, UINT count, UINT size);
UINT GetRawInputData(HRAWINPUT input, UINT command, LPVOID data, UINT* size, UINT headerSize);
