#include "common/message_window.h"

HWND OpenMessageWindow(const wchar_t* className, WNDPROC procedure, HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = className;
  if (!RegisterClassExW(&windowClass)) return nullptr;
  HWND window = CreateWindowExW(0, className, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (!window) UnregisterClassW(className, instance);
  return window;
}

void CloseMessageWindow(HWND window, const wchar_t* className, HINSTANCE instance) {
  DestroyWindow(window);
  UnregisterClassW(className, instance);
}
