// Arbitrary sessions at the keyboard through the low-level hook, checked
// after every event against the reference model of the walking rules.
//
// Input: one byte per event; the top three bits pick what happens, the low
// five pick a key from kKeys.
//   0-3  press the key, or release it when the player holds it
//   4    auto-repeat of the last key pressed, if still held (else as 0-3)
//   5    move the foreground: client, other window, no window
//   6    as 0-3, but with WM_SYS* where the desktop would send WM_* and back
//   7    low bits 0-3: ReleaseAll(); otherwise an odd message identifier for
//        the key picked by the next byte
// At the end the player lets go of every key held.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "desktop.h"
#include "player.h"
#include "walking/direction.h"
#include "walking/key_sender.h"
#include "walking_reference.h"

namespace {

// The directions three times over, so most events walk; then the modifiers
// (sided and generic, the Windows keys among them), resolved keys the player
// may press too, others, and the pause key (Scroll Lock, as by default).
constexpr BYTE kKeys[32] = {'W',      'A',      'S',        'D',      'W',         'A',         'S',       'D',
                            'W',      'A',      'S',        'D',      VK_LCONTROL, VK_RCONTROL, VK_LSHIFT, VK_RSHIFT,
                            VK_LMENU, VK_RMENU, VK_CONTROL, VK_SHIFT, VK_MENU,     'X',         'Q',       'E',
                            'Z',      'C',      0x26,       0x20,     0x0D,        VK_LWIN,     VK_SCROLL, VK_RWIN};

// Message identifiers a hook may see that are neither key-down nor key-up.
constexpr UINT kOddMessages[] = {0x0000, 0x0102, 0x0103, 0x0106, 0x0012, 0x0200, 0xFFFF, 0x10100, 0x10101};

enum class Kind : std::uint8_t { Toggle, Repeat, Focus, SwappedFamily, ReleaseAll, Odd };

struct Step {
  Kind kind;
  BYTE vk;
  UINT message;
  bool down;
};

struct Session {
  HWND client = player::ClientWindow();
  HWND windows[3] = {client, player::OtherWindow(), nullptr};
  HWND foreground = client;
  walking_reference::Reference model;
  walking_reference::Watch watch{client};
  std::set<BYTE> physical;  // keys the player holds
  BYTE lastPhysical = 0;    // the key the keyboard auto-repeats
  std::vector<Step> steps;
};

bool IsAltKey(BYTE vk) { return vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU; }

std::string Describe(const Step& step) {
  static const char* const kWindows[] = {"@client", "@other", "@none"};
  const std::string key = standin::KeyName(step.vk);
  switch (step.kind) {
    case Kind::Toggle:
      return key + (step.down ? "+" : "-");
    case Kind::Repeat:
      return key + "*";
    case Kind::Focus:
      return kWindows[step.vk];
    case Kind::SwappedFamily:
      return key + (step.down ? "+" : "-") + "(sys/plain swapped)";
    case Kind::ReleaseAll:
      return "ReleaseAll()";
    case Kind::Odd: {
      char text[32];
      std::snprintf(text, sizeof text, "(msg 0x%X)", step.message);
      return key + text;
    }
  }
  return "?";
}

[[noreturn]] void Fail(const Session& session, const std::vector<std::string>& broken) {
  std::string script;
  for (const Step& step : session.steps) script += Describe(step) + " ";
  std::fprintf(stderr, "\n*** walking rule broken at event %zu\n", session.steps.size());
  for (const std::string& what : broken) std::fprintf(stderr, "    %s\n", what.c_str());
  std::fprintf(stderr, "    events: %s\n", script.c_str());
  std::abort();
}

// A physical key event with the given message; the player's hands follow
// real key-downs and key-ups only.
void SendKey(Session& s, BYTE vk, UINT message) {
  s.model.OnPhysical(vk, message, s.watch.InClient(), s.watch.ModifierHeld());
  if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
    s.physical.insert(vk);
    s.lastPhysical = vk;
  } else if (message == WM_KEYUP || message == WM_SYSKEYUP) {
    s.physical.erase(vk);
  }
  standin::SendPhysical(message, vk);
}

// The message the desktop itself would send for this key now.
UINT UsualMessage(BYTE vk, bool down) {
  const bool alt = standin::IsKeyDown(VK_MENU) || IsAltKey(vk);
  if (down) return alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
  return alt ? WM_SYSKEYUP : WM_KEYUP;
}

UINT SwappedMessage(BYTE vk, bool down) {
  switch (UsualMessage(vk, down)) {
    case WM_KEYDOWN:
      return WM_SYSKEYDOWN;
    case WM_SYSKEYDOWN:
      return WM_KEYDOWN;
    case WM_KEYUP:
      return WM_SYSKEYUP;
    default:
      return WM_KEYUP;
  }
}

void Run(Session& s, const Step& step) {
  s.watch.BeforeEvent(s.foreground);
  s.steps.push_back(step);
  switch (step.kind) {
    case Kind::Toggle:
    case Kind::Repeat:
      SendKey(s, step.vk, UsualMessage(step.vk, step.down));
      break;
    case Kind::SwappedFamily:
    case Kind::Odd:
      SendKey(s, step.vk, step.message);
      break;
    case Kind::Focus:
      s.foreground = s.windows[step.vk];
      standin::SetForeground(s.foreground);
      break;
    case Kind::ReleaseAll:
      s.model.Stop();
      ReleaseAll();
      SendKeysNow();
      break;
  }
  // The launcher sends the walk's keys once the hook call is over.
  player::Pump();
  const std::vector<std::string> broken = s.watch.AfterEvent(s.foreground, s.model, s.physical);
  if (!broken.empty()) Fail(s, broken);
}

Step Toggle(const Session& s, BYTE vk) { return {Kind::Toggle, vk, 0, s.physical.count(vk) == 0}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  player::SetUpDesktop();
  Session s;
  s.steps.reserve(size + 16);
  for (std::size_t i = 0; i < size; ++i) {
    const int action = data[i] >> 5;
    const int low = data[i] & 31;
    const BYTE vk = kKeys[low];
    switch (action) {
      case 4:
        if (s.lastPhysical && s.physical.count(s.lastPhysical)) {
          Run(s, {Kind::Repeat, s.lastPhysical, 0, true});
          break;
        }
        Run(s, Toggle(s, vk));
        break;
      case 5:
        Run(s, {Kind::Focus, static_cast<BYTE>(low % 3), 0, false});
        break;
      case 6: {
        const bool down = s.physical.count(vk) == 0;
        Run(s, {Kind::SwappedFamily, vk, SwappedMessage(vk, down), down});
        break;
      }
      case 7:
        if (low < 4) {
          Run(s, {Kind::ReleaseAll, 0, 0, false});
          break;
        }
        if (i + 1 < size) {
          const BYTE target = kKeys[data[++i] & 31];
          Run(s, {Kind::Odd, target, kOddMessages[static_cast<std::size_t>(low) % std::size(kOddMessages)], false});
        }
        break;
      default:
        Run(s, Toggle(s, vk));
    }
  }
  // The player lets go of everything; nothing may stay down anywhere.
  while (!s.physical.empty()) Run(s, {Kind::Toggle, *s.physical.begin(), 0, false});
  return 0;
}
