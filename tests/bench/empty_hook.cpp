// Latency baseline: a low-level keyboard hook that only passes each event on,
// so what it adds is the platform's own cost of having a hook at all.
#include "hook_host.h"

namespace {

LRESULT CALLBACK PassOnProc(int code, WPARAM message, LPARAM event) {
  return CallNextHookEx(nullptr, code, message, event);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) { return RunHook(PassOnProc, instance); }
