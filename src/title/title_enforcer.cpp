#include "title/title_enforcer.h"

#include <cwchar>

#include "common/launcher_state.h"
#include "common/product_title.h"

namespace {

constexpr int kTitleBufferUnits = 256;
constexpr int kStablePassesToStop = 30;
constexpr int kMostPasses = 300;
constexpr DWORD kPassIntervalMs = 100;

bool IsClientWindow(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != clientProcessId) return false;
  return GetAncestor(window, GA_ROOT) == window;
}

}  // namespace

void CALLBACK TitleEventProc(HWINEVENTHOOK, DWORD, HWND window, LONG, LONG, DWORD, DWORD) {
  // No visibility test: a hidden window that renames itself is put right too.
  if (!window || !IsClientWindow(window)) return;
  wchar_t title[kTitleBufferUnits] = {};
  GetWindowTextW(window, title, kTitleBufferUnits);
  // Our own change raises another event; it finds the title equal and stops.
  if (std::wcscmp(title, ProductTitle) == 0) return;
  SetWindowTextW(window, ProductTitle);
}

BOOL CALLBACK TitleEnumProc(HWND window, LPARAM) {
  if (IsClientWindow(window) && IsWindowVisible(window)) {
    SetWindowTextW(window, ProductTitle);
    titleApplied.exchange(1);
  }
  return TRUE;
}

DWORD WINAPI TitleEnforcerThread(LPVOID) {
  // Runs until the client's window has been seen in enough consecutive
  // passes to count as settled, or gives up after a fixed number of passes.
  int stablePasses = 0;
  int passes = 0;
  while (stablePasses < kStablePassesToStop) {
    titleApplied.exchange(0);
    EnumWindows(TitleEnumProc, 0);
    stablePasses = titleApplied.load() != 0 ? stablePasses + 1 : 0;
    Sleep(kPassIntervalMs);
    if (++passes >= kMostPasses) break;
  }
  return 0;
}
