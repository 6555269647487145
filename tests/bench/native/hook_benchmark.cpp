// The low-level keyboard hook's cost per physical key event on the stand-in
// desktop, beside a hook that only passes each event on; the same play script
// drives both. Besides time it reports, per event, the platform calls the hook
// makes and the heap allocations the launcher's own code makes: allocations
// inside the stand-in's functions (which record events in vectors) are not the
// launcher's and are left out.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/keyboard_hook.h"
#include "walking/pause_key.h"

// --- Who is running: the launcher's code or the stand-in platform --------------------

namespace {

enum class Scope { Outside, Launcher, Platform };
Scope scope = Scope::Outside;
long long launcherAllocations = 0;

struct EnterScope {
  Scope saved;
  explicit EnterScope(Scope now) : saved(scope) { scope = now; }
  ~EnterScope() { scope = saved; }
  EnterScope(const EnterScope&) = delete;
  EnterScope& operator=(const EnterScope&) = delete;
};

struct CallCounts {
  long long foreground, windowProcess, keyState, injections, passOns;
};
CallCounts calls{};

}  // namespace

void* operator new(std::size_t size) {
  if (scope == Scope::Launcher) ++launcherAllocations;
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

// The linker sends the launcher's calls of these stand-in functions here.
extern "C" {
SHORT __real__Z16GetAsyncKeyStatei(int vk);
HWND __real__Z19GetForegroundWindowv();
DWORD __real__Z24GetWindowThreadProcessIdP13StandInWindowPj(HWND window, DWORD* processId);
UINT __real__Z9SendInputjP5INPUTi(UINT count, INPUT* inputs, int size);
LRESULT __real__Z14CallNextHookExP11StandInHookiml(HHOOK hook, int code, WPARAM message, LPARAM event);

SHORT __wrap__Z16GetAsyncKeyStatei(int vk) {
  EnterScope platform(Scope::Platform);
  ++calls.keyState;
  return __real__Z16GetAsyncKeyStatei(vk);
}
HWND __wrap__Z19GetForegroundWindowv() {
  EnterScope platform(Scope::Platform);
  ++calls.foreground;
  return __real__Z19GetForegroundWindowv();
}
DWORD __wrap__Z24GetWindowThreadProcessIdP13StandInWindowPj(HWND window, DWORD* processId) {
  EnterScope platform(Scope::Platform);
  ++calls.windowProcess;
  return __real__Z24GetWindowThreadProcessIdP13StandInWindowPj(window, processId);
}
UINT __wrap__Z9SendInputjP5INPUTi(UINT count, INPUT* inputs, int size) {
  EnterScope platform(Scope::Platform);
  calls.injections += count;
  return __real__Z9SendInputjP5INPUTi(count, inputs, size);
}
LRESULT __wrap__Z14CallNextHookExP11StandInHookiml(HHOOK hook, int code, WPARAM message, LPARAM event) {
  EnterScope platform(Scope::Platform);
  ++calls.passOns;
  return __real__Z14CallNextHookExP11StandInHookiml(hook, code, message, event);
}
}

namespace {

// --- The desktop and the two hooks ------------------------------------------------------

LRESULT LauncherHook(int code, WPARAM message, LPARAM event) {
  EnterScope launcher(Scope::Launcher);
  return KeyboardHookProc(code, message, event);
}

LRESULT PassOnHook(int code, WPARAM message, LPARAM event) {
  EnterScope launcher(Scope::Launcher);
  return CallNextHookEx(keyboardHook, code, message, event);
}

// A stretch of play in the player scripts' notation ("W+" press, "W-" release,
// "W*4" four auto-repeats, "@other"/"@client" to move the foreground): walking
// with auto-repeat (most events), diagonals, opposite keys, other keys, a
// sprint with Shift and a moment in another window. Every key ends up, so it
// can be played again.
constexpr const char* kPlay =
    "W+ W*12 A+ A*6 A- W*4 W- D+ S+ S*8 D- S*3 S- Space+ Space- 1+ 1- A+ D+ D*4 A- D- "
    "Shift+ W+ W*6 W- Shift- @other W+ W- @client E+ E-";

struct Step {
  char kind;  // '+', '-', '*', or 'o'/'c' for the other window or the client in front
  BYTE vk;
};

BYTE KeyCode(const std::string& name) {
  if (name == "Space") return 0x20;
  if (name == "Shift") return VK_LSHIFT;
  return static_cast<BYTE>(name[0]);
}

const std::vector<Step>& PlayScript() {
  static const std::vector<Step> script = [] {
    std::vector<Step> steps;
    std::istringstream words(kPlay);
    std::string word;
    while (words >> word) {
      if (word[0] == '@') {
        steps.push_back({word == "@other" ? 'o' : 'c', 0});
        continue;
      }
      std::size_t op = word.find_first_of("+-*");
      BYTE vk = KeyCode(word.substr(0, op));
      int times = word[op] == '*' ? std::stoi(word.substr(op + 1)) : 1;
      for (int i = 0; i < times; ++i) steps.push_back({word[op], vk});
    }
    return steps;
  }();
  return script;
}

// Plays one step, and the launcher sends what it decided; returns whether it
// was a key event.
bool Play(const Step& step) {
  switch (step.kind) {
    case '+':
      standin::Press(step.vk);
      break;
    case '-':
      standin::Release(step.vk);
      break;
    case '*':
      standin::Repeat(step.vk);
      break;
    case 'o':
      standin::SetForeground(player::OtherWindow());
      return false;
    default:
      standin::SetForeground(player::ClientWindow());
      return false;
  }
  player::Pump();
  return true;
}

long long KeyEventsPerPlay() {
  const auto& script = PlayScript();
  return std::count_if(script.begin(), script.end(), [](const Step& s) { return s.kind != 'o' && s.kind != 'c'; });
}

// The stand-in records every delivered event; starting over now and then keeps
// its vectors small, with the clock stopped.
constexpr int kPlaysPerDesktop = 256;

// The player's desktop with the given pause key configured (0: none); the play
// never presses it, so the two differ only by the hook's one comparison.
void SetUpPlayer(HOOKPROC hook, BYTE pauseKeyCode) {
  player::SetUpDesktop(hook);
  pauseKey = pauseKeyCode;
}

void RunPlays(benchmark::State& state, HOOKPROC hook, BYTE pauseKeyCode = VK_SCROLL) {
  SetUpPlayer(hook, pauseKeyCode);
  calls = {};
  launcherAllocations = 0;
  int plays = 0;
  for (auto _ : state) {
    for (const Step& step : PlayScript()) Play(step);
    if (++plays == kPlaysPerDesktop) {
      state.PauseTiming();
      SetUpPlayer(hook, pauseKeyCode);
      plays = 0;
      state.ResumeTiming();
    }
  }
  long long events = static_cast<long long>(state.iterations()) * KeyEventsPerPlay();
  state.SetItemsProcessed(events);
  auto perEvent = [events](long long count) { return static_cast<double>(count) / static_cast<double>(events); };
  state.counters["foreground_per_event"] = perEvent(calls.foreground);
  state.counters["window_process_per_event"] = perEvent(calls.windowProcess);
  state.counters["key_state_per_event"] = perEvent(calls.keyState);
  state.counters["injections_per_event"] = perEvent(calls.injections);
  state.counters["pass_ons_per_event"] = perEvent(calls.passOns);
  state.counters["launcher_allocations"] = static_cast<double>(launcherAllocations);

  // The most calls any one event took, from one untimed play.
  SetUpPlayer(hook, pauseKeyCode);
  CallCounts most{};
  for (const Step& step : PlayScript()) {
    calls = {};
    if (!Play(step)) continue;
    most.foreground = std::max(most.foreground, calls.foreground);
    most.windowProcess = std::max(most.windowProcess, calls.windowProcess);
    most.keyState = std::max(most.keyState, calls.keyState);
    most.injections = std::max(most.injections, calls.injections);
    most.passOns = std::max(most.passOns, calls.passOns);
  }
  state.counters["foreground_max"] = static_cast<double>(most.foreground);
  state.counters["window_process_max"] = static_cast<double>(most.windowProcess);
  state.counters["key_state_max"] = static_cast<double>(most.keyState);
  state.counters["injections_max"] = static_cast<double>(most.injections);
  state.counters["pass_ons_max"] = static_cast<double>(most.passOns);
  state.counters["events_per_play"] = static_cast<double>(KeyEventsPerPlay());
}

void BM_LauncherHook(benchmark::State& state) { RunPlays(state, LauncherHook); }
void BM_PassOnHook(benchmark::State& state) { RunPlays(state, PassOnHook); }
void BM_LauncherHookNoPauseKey(benchmark::State& state) { RunPlays(state, LauncherHook, 0); }

BENCHMARK(BM_PassOnHook);
BENCHMARK(BM_LauncherHook);
BENCHMARK(BM_LauncherHookNoPauseKey);

// A zero is only worth something if the counter counts: one allocation made
// as the launcher must show up.
bool AllocationsAreCounted() {
  launcherAllocations = 0;
  {
    EnterScope launcher(Scope::Launcher);
    delete new int(1);
  }
  bool counted = launcherAllocations == 1;
  launcherAllocations = 0;
  return counted;
}

}  // namespace

int main(int argc, char** argv) {
  if (!AllocationsAreCounted()) {
    std::fprintf(stderr, "hook_benchmark: the counting allocator is not in use\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
