// Answers each byte it reads on stdin with the performance counter and its
// frequency, so the benchmark can tell which Linux clock the counter follows.
#include <windows.h>

#include <string>

int wmain() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  char byte = 0;
  DWORD count = 0;
  while (ReadFile(in, &byte, 1, &count, nullptr) && count == 1) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    std::string line = std::to_string(counter.QuadPart) + " " + std::to_string(frequency.QuadPart) + "\n";
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &count, nullptr);
  }
  return 0;
}
