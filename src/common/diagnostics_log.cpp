#include "common/diagnostics_log.h"

#include <cstdio>
#include <cstring>

bool diagnosticsLogging = false;

namespace {

constexpr LONGLONG kFileLimit = 256 * 1024;
// Lines between two wakes of the main loop; hook calls add a few at most.
constexpr int kCapacity = 64;
constexpr int kLineLength = 160;

struct Entry {
  SYSTEMTIME time;
  const char* format;
  unsigned values[3];
};

struct Recorded {
  std::wstring path;
  int count = 0;
  unsigned lost = 0;
};
Recorded recorded;
// Scratch space, read only up to recorded.count.
Entry entries[kCapacity];
// What one flush writes, and the newest half of a file grown too long.
char flushText[(kCapacity + 1) * kLineLength];
char keptText[kFileLimit / 2];

int FormatLine(char* out, std::size_t size, const SYSTEMTIME& time, const char* format, const unsigned* values) {
  int stamp = std::snprintf(out, size, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", time.wYear, time.wMonth, time.wDay,
                            time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
  if (stamp < 0 || static_cast<std::size_t>(stamp) >= size) return 0;
  // Room is left for the line's end; a longer line is cut.
  std::size_t room = size - static_cast<std::size_t>(stamp) - 2;
  int written = std::snprintf(out + stamp, room, format, values[0], values[1], values[2]);
  if (written < 0) return 0;
  std::size_t text = static_cast<std::size_t>(written);
  std::size_t length = static_cast<std::size_t>(stamp) + (text < room ? text : room - 1);
  out[length++] = '\r';
  out[length++] = '\n';
  return static_cast<int>(length);
}

bool SeekTo(HANDLE file, LONGLONG offset, DWORD from) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return SetFilePointerEx(file, distance, nullptr, from) != 0;
}

// The file starts again from the first whole line of its newest half.
void KeepNewestHalf(HANDLE file, LONGLONG size) {
  LONGLONG from = size > static_cast<LONGLONG>(sizeof keptText) ? size - static_cast<LONGLONG>(sizeof keptText) : 0;
  DWORD read = 0;
  if (!SeekTo(file, from, FILE_BEGIN) || !ReadFile(file, keptText, sizeof keptText, &read, nullptr)) return;
  const char* lineEnd = static_cast<const char*>(std::memchr(keptText, '\n', read));
  const char* start = lineEnd ? lineEnd + 1 : keptText + read;
  DWORD kept = static_cast<DWORD>(keptText + read - start);
  DWORD written = 0;
  if (!SeekTo(file, 0, FILE_BEGIN) || !WriteFile(file, start, kept, &written, nullptr)) return;
  SetEndOfFile(file);
}

void AppendToFile(const char* text, DWORD length) {
  // Opened for each flush, so the player can copy or delete the file while playing.
  HANDLE file = CreateFileW(recorded.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file, &size) && size.QuadPart + length > kFileLimit) KeepNewestHalf(file, size.QuadPart);
  DWORD written = 0;
  if (SeekTo(file, 0, FILE_END)) WriteFile(file, text, length, &written, nullptr);
  CloseHandle(file);
}

}  // namespace

void StartDiagnosticsLog(const std::wstring& path) {
  recorded.path = path;
  diagnosticsLogging = true;
}

void LogDiagnostic(const char* format, unsigned first, unsigned second, unsigned third) {
  if (!diagnosticsLogging) return;
  if (recorded.count == kCapacity) {
    ++recorded.lost;
    return;
  }
  Entry& entry = entries[recorded.count++];
  GetLocalTime(&entry.time);
  entry.format = format;
  entry.values[0] = first;
  entry.values[1] = second;
  entry.values[2] = third;
}

void FlushDiagnosticsLog() {
  if (recorded.count == 0) return;
  std::size_t length = 0;
  for (int i = 0; i < recorded.count; ++i)
    length += static_cast<std::size_t>(
        FormatLine(flushText + length, kLineLength, entries[i].time, entries[i].format, entries[i].values));
  if (recorded.lost) {
    unsigned lost[3] = {recorded.lost, 0, 0};
    length += static_cast<std::size_t>(
        FormatLine(flushText + length, kLineLength, entries[recorded.count - 1].time, "%u lines lost here", lost));
  }
  recorded.count = 0;
  recorded.lost = 0;
  AppendToFile(flushText, static_cast<DWORD>(length));
}

void ResetDiagnosticsLog() {
  diagnosticsLogging = false;
  recorded = {};
}
