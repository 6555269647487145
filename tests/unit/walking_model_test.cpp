// Long random sessions at the keyboard, checked after every event against a
// reference model written from the walking rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/direction.h"

namespace {

const BYTE kDirections[] = {'W', 'A', 'S', 'D'};
const BYTE kModifiers[] = {VK_LCONTROL, VK_RCONTROL, VK_LSHIFT, VK_RSHIFT, VK_LMENU, VK_RMENU};
const BYTE kOthers[] = {'X', 'Q', 0x26, 0x20};
const std::set<BYTE> kResolved = {'W', 'A', 'S', 'D', 'Q', 'E', 'Z', 'C'};

bool IsDirection(BYTE vk) { return vk == 'W' || vk == 'A' || vk == 'S' || vk == 'D'; }
bool IsModifier(BYTE vk) { return vk >= VK_LSHIFT && vk <= VK_RMENU; }

// What the walker should hold, derived from the rules rather than the code.
struct Reference {
  std::set<BYTE> held;
  BYTE last = 0;

  BYTE Expected() const {
    auto has = [this](BYTE k) { return held.count(k) != 0; };
    char v = 0, h = 0;
    if (has('W') && has('S'))
      v = last == 'S' ? 'S' : 'W';
    else if (has('W'))
      v = 'W';
    else if (has('S'))
      v = 'S';
    if (has('A') && has('D'))
      h = last == 'D' ? 'D' : 'A';
    else if (has('A'))
      h = 'A';
    else if (has('D'))
      h = 'D';
    if (!v) return static_cast<BYTE>(h);
    if (!h) return static_cast<BYTE>(v);
    if (v == 'W') return h == 'A' ? 'Q' : 'E';
    return h == 'A' ? 'Z' : 'C';
  }

  void Stop() {
    held.clear();
    last = 0;
  }
};

unsigned SeedFromEnvironment() {
  if (const char* text = std::getenv("WALK_SEED")) return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
  return std::random_device{}();
}

int EventsFromEnvironment() {
  if (const char* text = std::getenv("WALK_EVENTS")) return std::atoi(text);
  return 100000;
}

TEST(WalkingModel, RandomSessionsKeepEveryRule) {
  const unsigned seed = SeedFromEnvironment();
  const int events = EventsFromEnvironment();
  std::mt19937 random(seed);
  SCOPED_TRACE("replay with WALK_SEED=" + std::to_string(seed));

  player::SetUpDesktop();
  const HWND client = player::ClientWindow();
  const HWND windows[] = {client, player::OtherWindow(), nullptr};
  HWND foreground = client;

  Reference model;
  std::set<BYTE> physical;  // keys the player holds
  BYTE lastPhysical = 0;    // the key the keyboard auto-repeats
  std::set<BYTE> injectedDown;
  std::size_t injectedSeen = 0;

  auto fail = [&](int step, const std::string& what) {
    ADD_FAILURE() << what << " at event " << step << " (WALK_SEED=" << seed << ")";
  };

  for (int step = 0; step < events; ++step) {
    const std::size_t clientBefore = standin::ReceivedBy(client).size();
    const bool modifierHeld =
        standin::IsKeyDown(VK_CONTROL) || standin::IsKeyDown(VK_MENU) || standin::IsKeyDown(VK_SHIFT);
    const bool inClient = foreground == client;
    int kind = std::uniform_int_distribution<int>(0, 99)(random);
    BYTE vk = 0;
    bool down = true;

    if (kind < 8) {
      foreground = windows[std::uniform_int_distribution<int>(0, 2)(random)];
      standin::SetForeground(foreground);
    } else if (kind < 20 && lastPhysical && physical.count(lastPhysical)) {
      vk = lastPhysical;  // auto-repeat
    } else {
      if (kind < 80)
        vk = kDirections[std::uniform_int_distribution<int>(0, 3)(random)];
      else if (kind < 92)
        vk = kModifiers[std::uniform_int_distribution<int>(0, 5)(random)];
      else
        vk = kOthers[std::uniform_int_distribution<int>(0, 3)(random)];
      down = physical.count(vk) == 0;
    }

    if (vk) {
      // The reference: which events reach the walker, and which stop it.
      if (down && IsModifier(vk)) {
        model.Stop();
      } else if (IsDirection(vk)) {
        if (!inClient || modifierHeld) {
          model.Stop();
        } else if (down) {
          model.held.insert(vk);
          model.last = vk;
        } else {
          model.held.erase(vk);
        }
      } else if (!inClient) {
        model.Stop();
      }

      if (down) {
        physical.insert(vk);
        lastPhysical = vk;
        standin::Press(vk);
      } else {
        physical.erase(vk);
        standin::Release(vk);
      }
    }

    const auto& injected = standin::Injected();
    const auto& received = standin::ReceivedBy(client);
    if (foreground == client) {
      // Every injected event reaches the client unchanged and in order.
      std::size_t next = injectedSeen;
      for (std::size_t i = clientBefore; i < received.size(); ++i) {
        if (!received[i].injected) continue;
        if (next >= injected.size() || injected[next].vk != received[i].vk || injected[next].down != received[i].down)
          fail(step, "the client got an injected event that was not sent as such");
        ++next;
      }
      if (next != injected.size()) fail(step, "an injected event did not reach the client");
    }
    for (; injectedSeen < injected.size(); ++injectedSeen) {
      const standin::Delivered& e = injected[injectedSeen];
      if (!kResolved.count(e.vk)) fail(step, "injected a key outside W/A/S/D/Q/E/Z/C: " + standin::KeyName(e.vk));
      if (e.down)
        injectedDown.insert(e.vk);
      else
        injectedDown.erase(e.vk);
    }
    if (injectedDown.size() > 1) fail(step, "more than one injected key down");
    const BYTE expected = model.Expected();
    const BYTE actual = injectedDown.empty() ? 0 : *injectedDown.begin();
    if (actual != expected)
      fail(step, "client holds " + standin::KeyName(actual) + ", rules say " + standin::KeyName(expected));

    for (std::size_t i = clientBefore; i < received.size(); ++i)
      if (!received[i].injected && received[i].down && IsDirection(received[i].vk) && inClient && !modifierHeld)
        fail(step, "physical " + standin::KeyName(received[i].vk) + " reached the client");

    // Whenever the player holds nothing, nothing may be down anywhere.
    if (physical.empty())
      for (int key = 1; key < 256; ++key)
        if (standin::IsKeyDown(static_cast<BYTE>(key)))
          fail(step, standin::KeyName(static_cast<BYTE>(key)) + " stuck down with no key held");

    if (HasFailure()) return;
  }

  // The player lets go of everything: no key may stay down anywhere.
  for (BYTE vk : std::set<BYTE>(physical)) standin::Release(vk);
  for (int vk = 1; vk < 256; ++vk)
    EXPECT_FALSE(standin::IsKeyDown(static_cast<BYTE>(vk))) << standin::KeyName(static_cast<BYTE>(vk)) << " stuck";
  ReleaseAll();
  EXPECT_EQ(sentKey, 0);
}

}  // namespace
