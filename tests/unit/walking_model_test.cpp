// Long random sessions at the keyboard, pause key and chat mode included,
// checked after every event against a reference model written from the
// walking rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <string>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/chat_mode.h"
#include "walking/direction.h"
#include "walking/hook_watchdog.h"
#include "walking/pause_key.h"
#include "walking_reference.h"

namespace {

const BYTE kDirections[] = {'W', 'A', 'S', 'D'};
const BYTE kModifiers[] = {VK_LCONTROL, VK_RCONTROL, VK_LSHIFT, VK_RSHIFT, VK_LMENU, VK_RMENU, VK_LWIN, VK_RWIN};
const BYTE kOthers[] = {'X', 'Q', 0x26, 0x20};
// How soon the launcher notices the foreground leave the client.
constexpr int kNoticeMs = 50;

unsigned SeedFromEnvironment() {
  if (const char* text = std::getenv("WALK_SEED")) return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
  return std::random_device{}();
}

int EventsFromEnvironment() {
  if (const char* text = std::getenv("WALK_EVENTS")) return std::atoi(text);
  return 100000;
}

class WalkingModel : public testing::TestWithParam<standin::InputOrder> {};

TEST_P(WalkingModel, RandomSessionsKeepEveryRule) {
  const unsigned seed = SeedFromEnvironment();
  const int events = EventsFromEnvironment();
  std::mt19937 random(seed);
  SCOPED_TRACE("replay with WALK_SEED=" + std::to_string(seed));

  // The hook's witness watches the whole session; under Windows, raw input
  // comes a tick after the hook's time.
  player::SetUpDesktop(KeyboardHookProc, GetParam());
  if (GetParam() == standin::InputOrder::Windows) standin::SetHooksAheadDelay(16);
  StartHookWatchdog(nullptr);
  const HWND client = player::ClientWindow();
  const HWND windows[] = {client, player::OtherWindow(), nullptr};
  HWND foreground = client;

  UseChatMode(true);
  walking_reference::Reference model;
  model.chatMode = true;
  walking_reference::Watch watch(client);
  std::set<BYTE> physical;  // keys the player holds
  BYTE lastPhysical = 0;    // the key the keyboard auto-repeats

  for (int step = 0; step < events; ++step) {
    watch.BeforeEvent(foreground);
    int kind = std::uniform_int_distribution<int>(0, 99)(random);
    BYTE vk = 0;
    bool down = true;

    if (kind < 8) {
      foreground = windows[std::uniform_int_distribution<int>(0, 2)(random)];
      standin::SetForeground(foreground);
      model.OnForeground(foreground == client);
    } else if (kind < 20 && lastPhysical && physical.count(lastPhysical)) {
      vk = lastPhysical;  // auto-repeat
    } else {
      if (kind < 80)
        vk = kDirections[std::uniform_int_distribution<int>(0, 3)(random)];
      else if (kind < 92)
        vk = kModifiers[std::uniform_int_distribution<int>(0, 7)(random)];
      else if (kind < 94)
        vk = kOthers[std::uniform_int_distribution<int>(0, 3)(random)];
      else if (kind < 97)
        vk = pauseKey;  // to type in the chat, and back
      else
        vk = kind == 97 ? VK_ESCAPE : VK_RETURN;  // the chat's own way in and out
      down = physical.count(vk) == 0;
    }

    if (vk) {
      model.OnPhysical(vk, down ? WM_KEYDOWN : WM_KEYUP, watch.InClient(), watch.ModifierHeld());
      if (down) {
        physical.insert(vk);
        lastPhysical = vk;
        standin::Press(vk);
      } else {
        physical.erase(vk);
        standin::Release(vk);
      }
    }
    // Anything from a fast roll of keys to a long hold; a foreground change
    // gives the launcher the moment it needs to notice.
    standin::AdvanceClock(static_cast<DWORD>(std::uniform_int_distribution<int>(vk ? 0 : kNoticeMs, 400)(random)));
    player::Pump();

    for (const std::string& what : watch.AfterEvent(foreground, model, physical))
      ADD_FAILURE() << what << " at event " << step << " (WALK_SEED=" << seed << ")";
    if (HasFailure()) return;
  }

  // The player lets go of everything: no key may stay down anywhere.
  for (BYTE vk : std::set<BYTE>(physical)) standin::Release(vk);
  player::Pump();
  for (int vk = 1; vk < 256; ++vk)
    EXPECT_FALSE(standin::IsKeyDown(static_cast<BYTE>(vk))) << standin::KeyName(static_cast<BYTE>(vk)) << " stuck";
  ReleaseAll();
  EXPECT_EQ(sentKey, 0);
  // The hook was alive throughout: never taken for lost.
  EXPECT_EQ(standin::KeyboardHookRequests(), 1) << "WALK_SEED=" << seed;
  StopHookWatchdog();
}

INSTANTIATE_TEST_SUITE_P(InputOrder, WalkingModel,
                         testing::Values(standin::InputOrder::Windows, standin::InputOrder::Wine),
                         [](const testing::TestParamInfo<standin::InputOrder>& info) {
                           return standin::NameOf(info.param);
                         });

}  // namespace
