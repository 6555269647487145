// CPU load for the benchmark: a program at normal priority, as a game is,
// that keeps every processor busy until it is ended.
#include <windows.h>

namespace {

DWORD WINAPI Spin(LPVOID) {
  for (volatile unsigned long long turns = 0;; turns = turns + 1) {
  }
  return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  for (DWORD i = 1; i < system.dwNumberOfProcessors; ++i) CloseHandle(CreateThread(nullptr, 0, Spin, nullptr, 0, nullptr));
  Spin(nullptr);
  return 0;
}
