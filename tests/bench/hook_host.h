// What the benchmark's hook programs share: install a low-level keyboard hook,
// say so on stdout, and pump messages as the launcher does until told to quit.
#pragma once

#include <windows.h>

#include <string>

inline void SayOnStdout(const std::string& line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

inline int RunHook(HOOKPROC proc, HINSTANCE instance) {
  HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, proc, instance, 0);
  SayOnStdout("hooked=" + std::to_string(hook ? 1 : 0) + " pid=" + std::to_string(GetCurrentProcessId()) + "\n");
  if (!hook) return 1;
  // The hook is called on this thread only while it waits for messages.
  for (;;) {
    DWORD result = MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    if (result != WAIT_OBJECT_0) break;
    MSG message;
    bool quit = false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) quit = true;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (quit) break;
  }
  UnhookWindowsHookEx(hook);
  return 0;
}
