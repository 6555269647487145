// Latency floor for any remapper: swallow the physical W and inject a W in its
// place; the injected one comes back through the hook and is passed on.
//
// With the argument "diagonal" it also turns A pressed while W is held into
// W up + Q down, the least a diagonal needs, in two SendInput calls as a
// remapper that sends one key at a time does; D pressed while W is held
// becomes W up + E down in one SendInput call, to show what batching saves.
//
// With "queries" it first asks the platform what the launcher's hook asks for
// each W/A/S/D event (the foreground window, its process, three modifier
// states), and after the injection prints how long the asking took, so the
// cost of those calls can be told apart from the rest.
#include <cwchar>
#include <string>

#include "hook_host.h"

namespace {

bool diagonal = false;
bool queries = false;
bool wHeld = false;

double Microseconds() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

struct Asked {
  double foreground, process, keyStates;
};

// Times each of the calls, in microseconds.
Asked AskAsTheLauncherDoes() {
  double start = Microseconds();
  HWND foreground = GetForegroundWindow();
  double gotForeground = Microseconds();
  DWORD processId = 0;
  GetWindowThreadProcessId(foreground, &processId);
  double gotProcess = Microseconds();
  GetAsyncKeyState(VK_CONTROL);
  GetAsyncKeyState(VK_MENU);
  GetAsyncKeyState(VK_SHIFT);
  return {gotForeground - start, gotProcess - gotForeground, Microseconds() - gotProcess};
}

INPUT Key(BYTE vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

void Inject(BYTE vk, bool up) {
  INPUT input = Key(vk, up);
  SendInput(1, &input, static_cast<int>(sizeof input));
}

// One key up, another down: in two SendInput calls, or in one.
void Turn(BYTE from, bool fromUp, BYTE to, bool toUp, bool batched) {
  if (!batched) {
    Inject(from, fromUp);
    Inject(to, toUp);
    return;
  }
  INPUT inputs[2] = {Key(from, fromUp), Key(to, toUp)};
  SendInput(2, inputs, static_cast<int>(sizeof(INPUT)));
}

LRESULT CALLBACK RemapProc(int code, WPARAM message, LPARAM event) {
  const auto* record = reinterpret_cast<const KBDLLHOOKSTRUCT*>(event);
  if (code != HC_ACTION || (record->flags & LLKHF_INJECTED)) return CallNextHookEx(nullptr, code, message, event);
  bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
  if (record->vkCode == 'W') {
    Asked asked = queries ? AskAsTheLauncherDoes() : Asked{};
    wHeld = !up;
    Inject('W', up);
    // Written after the injection, so the key reaches the client first.
    if (queries)
      SayOnStdout("queries foreground_us=" + std::to_string(asked.foreground) + " process_us=" +
                  std::to_string(asked.process) + " keys_us=" + std::to_string(asked.keyStates) + "\n");
    return 1;
  }
  bool turning = diagonal && wHeld && (record->vkCode == 'A' || record->vkCode == 'D');
  if (!turning) return CallNextHookEx(nullptr, code, message, event);
  BYTE diagonalKey = record->vkCode == 'A' ? 'Q' : 'E';
  bool batched = record->vkCode == 'D';
  if (up) {
    Turn(diagonalKey, true, 'W', false, batched);
  } else {
    Turn('W', true, diagonalKey, false, batched);
  }
  return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  diagonal = std::wcsstr(commandLine, L"diagonal") != nullptr;
  queries = std::wcsstr(commandLine, L"queries") != nullptr;
  return RunHook(RemapProc, instance);
}
