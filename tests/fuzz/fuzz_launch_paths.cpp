// Arbitrary module paths through the launch path derivation.
//
// Input: one mode byte, then the path as UTF-16LE code units.
//   bit 0 of the mode: GetModuleFileNameW cuts a long path as Wine does.
//   bit 1 of the mode: the next two bytes put a run of 'd' units in front of
//   the path, of a length near one of kStretch (first byte) plus or minus up
//   to 128 (second byte, signed), to reach the length limits from small
//   inputs.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "app/launch_config.h"
#include "desktop.h"
#include "player.h"

namespace {

// The longest module path GetModuleFileNameW can report.
constexpr std::size_t kLongestPath = 32767;

// MAX_PATH, the lengths a doubling buffer passes through, and the platform's limit.
constexpr std::size_t kStretch[] = {0, 260, 520, 1040, 2080, 4160, 8320, 16640, 32767};

const std::wstring kClientTail = L"\\bin\\client.exe";

// The path in ASCII, its middle left out when long.
std::string Show(const std::wstring& path) {
  std::string out;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path.size() > 100 && i == 40) {
      out += "<" + std::to_string(path.size() - 80) + " units>";
      i = path.size() - 40;
    }
    const auto unit = static_cast<unsigned>(path[i]);
    if (unit >= 0x20 && unit < 0x7F) {
      out += static_cast<char>(unit);
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", unit);
      out += escaped;
    }
  }
  return out;
}

[[noreturn]] void Fail(const char* what, const std::wstring& modulePath, const std::wstring& base) {
  std::fprintf(stderr, "\n*** %s\n    module path:    %s (%zu units)\n    base directory: %s (%zu units)\n", what,
               Show(modulePath).c_str(), modulePath.size(), Show(base).c_str(), base.size());
  std::abort();
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool StartsWith(const std::wstring& text, const std::wstring& head) { return text.compare(0, head.size(), head) == 0; }

// The folder holding the module, by walking back to the last separator.
std::wstring FolderOf(const std::wstring& modulePath) {
  for (std::size_t i = modulePath.size(); i > 0; --i)
    if (modulePath[i - 1] == L'\\' || modulePath[i - 1] == L'/') return modulePath.substr(0, i - 1);
  return L".";
}

void CheckBase(const std::wstring& base, const std::wstring& modulePath, bool readable) {
  if (!readable) {
    if (base != L".") Fail("a path beyond the platform limit must give the current directory", modulePath, base);
    return;
  }
  const std::wstring folder = FolderOf(modulePath);
  if (base == folder) return;
  if (base == L".") Fail("the current directory for a path that names its folder", modulePath, base);
  if (base.size() < folder.size() && StartsWith(folder, base))
    Fail("a parent of the launcher's folder", modulePath, base);
  Fail("not the folder before the last separator", modulePath, base);
}

void CheckPaths(const LaunchPaths& paths, const std::wstring& modulePath) {
  const std::wstring& base = paths.baseDirectory;
  if (!EndsWith(paths.clientExecutable, kClientTail)) Fail("client not at \\bin\\client.exe", modulePath, base);
  if (!StartsWith(paths.clientExecutable, base) || paths.clientExecutable.size() != base.size() + kClientTail.size())
    Fail("client not inside the base directory", modulePath, base);
  if (paths.iniFile != base + L"\\VarnelOfficial.ini") Fail("settings file misplaced", modulePath, base);
  if (paths.workingDirectory != base + L"\\bin") Fail("working directory is not base\\bin", modulePath, base);
  if (paths.commandLine != L"\"" + paths.clientExecutable + L"\"")
    Fail("command line is not the quoted client path", modulePath, base);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  std::size_t at = 1;
  std::wstring modulePath;
  if (mode & 2) {
    if (size < 3) return 0;
    const std::ptrdiff_t length =
        static_cast<std::ptrdiff_t>(kStretch[data[1] % std::size(kStretch)]) + static_cast<std::int8_t>(data[2]);
    modulePath.assign(static_cast<std::size_t>(std::max<std::ptrdiff_t>(length, 0)), L'd');
    at = 3;
  }
  for (; at + 1 < size; at += 2) modulePath += static_cast<wchar_t>(data[at] | data[at + 1] << 8);

  CheckBase(BaseDirectoryOf(modulePath), modulePath, true);
  CheckPaths(BuildLaunchPaths(BaseDirectoryOf(modulePath)), modulePath);

  player::ResetLauncher();
  standin::SetModulePath(modulePath, (mode & 1) != 0);
  const LaunchPaths paths = BuildLaunchPaths(ResolveBaseDirectory());
  CheckBase(paths.baseDirectory, modulePath, modulePath.size() <= kLongestPath);
  CheckPaths(paths, modulePath);
  return 0;
}
