// Baseline for idle cost and footprint: a Win32 program that does nothing but
// wait for messages, built exactly as the launcher is.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  for (;;) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) return 1;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return 0;
      DispatchMessageW(&message);
    }
  }
}
