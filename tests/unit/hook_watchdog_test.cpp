// The platform may silently drop the keyboard hook; raw input witnesses the
// keys the hook missed, and the launcher hooks again.
#include "walking/hook_watchdog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/direction.h"
#include "walking/injected_key.h"
#include "walking/key_sender.h"

namespace {

struct Session {
  const char* name;
  // Player's keys as in player::Play, pumped after each step, plus:
  // "~N" N ms pass; "drop" the platform drops the hook; "skip" the next key
  // goes past the hook as after a timeout under Wine; "refuse"/"accept"
  // hook requests fail or succeed; "hang"/"resume" the launcher stops and
  // resumes pumping (hook calls are still served); "inject" another program
  // injects X, "inject-ahead" stamped a day ahead of the clock; "behindN" the
  // hooks after ours take N ms over each key; "ahead"/"alone" another
  // launcher's hook ahead of ours starts/stops taking every key; "^X+,Y+" X+
  // and Y+ are typed just as the launcher's next key goes out.
  const char* script;
  const char* client;  // what the client gets
  int hookRequests;    // the start included
  DWORD hooksAheadMs;  // hooks called before ours hold each key this long
  // What the client gets under Wine, where that differs: a key already on
  // its way when the hook comes back goes through the new hook.
  const char* wineClient;
};

void PrintTo(const Session& s, std::ostream* out) { *out << '"' << s.script << '"'; }

using standin::InputOrder;
// Every session plays in Windows' input order and in Wine's, with the walker's
// keys carrying scan codes and without.
using Played = std::tuple<Session, InputOrder, bool>;

void InjectFromAnotherProgram(BYTE vk, DWORD time = 0) {
  INPUT inputs[2] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.time = time;
  }
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
}

class Watchdog : public testing::TestWithParam<Played> {
 protected:
  void SetUp() override {
    player::SetUpDesktop(KeyboardHookProc, std::get<InputOrder>(GetParam()));
    standin::SetHooksAheadDelay(session().hooksAheadMs);
    UseScanCodes(std::get<bool>(GetParam()));
    StartHookWatchdog(nullptr);
  }
  void TearDown() override { StopHookWatchdog(); }
  const Session& session() const { return std::get<Session>(GetParam()); }

  void Play(const std::string& script) {
    std::istringstream steps(script);
    std::string step;
    bool pumping = true;
    while (steps >> step) {
      if (step[0] == '~') {
        // Millisecond by millisecond, so each timer goes off on time.
        for (unsigned long ms = std::stoul(step.substr(1)); ms > 0; --ms) {
          standin::AdvanceClock(1);
          if (pumping) player::Pump();
        }
      } else if (step == "drop") {
        standin::DropKeyboardHook();
      } else if (step == "skip") {
        standin::SkipHookForNextKey();
      } else if (step == "refuse" || step == "accept") {
        standin::FailKeyboardHook(step == "refuse");
      } else if (step == "hang" || step == "resume") {
        pumping = step == "resume";
      } else if (step == "inject") {
        InjectFromAnotherProgram('X');
      } else if (step == "inject-ahead") {
        constexpr DWORD kOneDayMs = 24 * 60 * 60 * 1000;
        InjectFromAnotherProgram('X', standin::Clock() + kOneDayMs);
      } else if (step.rfind("behind", 0) == 0) {
        standin::SetHooksBehindDelay(static_cast<DWORD>(std::stoul(step.substr(6))));
      } else if (step == "ahead" || step == "alone") {
        standin::SetRemappingHookAhead(step == "ahead");
      } else if (step[0] == '^') {
        std::string keys = step.substr(1);
        std::replace(keys.begin(), keys.end(), ',', ' ');
        standin::DuringNextSendInput([keys] { player::Play(keys, false); });
      } else {
        player::Play(step, pumping);
      }
      if (pumping) player::Pump();
    }
  }
};

TEST_P(Watchdog, HooksAgainOnlyWhenTheHookIsGone) {
  // The session starts after the hook; long after the last key, whatever the
  // script left running has settled.
  Play("~10 " + std::string(session().script) + " ~5000");
  bool wine = std::get<InputOrder>(GetParam()) == InputOrder::Wine;
  EXPECT_EQ(standin::Stream(player::ClientWindow()),
            wine && session().wineClient ? session().wineClient : session().client);
  EXPECT_EQ(standin::KeyboardHookRequests(), session().hookRequests);
  // No timer is left to wake the launcher while nobody types.
  EXPECT_EQ(standin::TimersArmed(), 0);
  for (int vk = 1; vk < 256; ++vk)
    EXPECT_FALSE(standin::IsKeyDown(static_cast<BYTE>(vk))) << standin::KeyName(static_cast<BYTE>(vk)) << " stuck";
}

// Windows stamps raw input when it posts it, once every hook has had the key:
// a tick (16 ms) or more after the hook's time for the same key.
constexpr DWORD kTick = 16;

const Session kDropped[] = {
    // The walk held when the hook went ends a grace period after the next key.
    {"WhileWalking", "W+ ~100 drop A+ ~250 A- W- ~10 W+ A+ W- A-", "W+ a+ W- a- w- W+ W- Q+ Q- A+ A-", 2},
    {"WhileWalkingRawInputLate", "W+ ~100 drop A+ ~350 A- W- ~10 W+ A+ W- A-", "W+ a+ W- a- w- W+ W- Q+ Q- A+ A-", 2,
     3 * kTick},
    {"WhileIdle", "~100 drop ~1000 D+ ~250 D- ~10 W+ W-", "d+ d- W+ W-", 2},
    // Typing leaves raw input to be read in batches; a quiet spell ends that.
    {"AfterAQuietSpell", "W+ W- ~1000 drop D+ ~250 D- ~10 W+ W-", "W+ W- d+ d- W+ W-", 2},
    // Keys typed on after the drop do not put the release off.
    {"WhileTypingOn", "W+ ~100 drop A+ ~100 S+ ~100 S- ~60 D+ D- A- W-", "W+ a+ s+ s- W- D+ D- a- w-", 2},
    {"Twice", "W+ ~10 drop S+ ~250 S- W- ~10 drop D+ ~250 D- ~10 A+ A-", "W+ s+ W- s- w- d+ d- A+ A-", 3},
    // A skill key tapped while walking, its raw input a tick late, then a drop.
    {"AfterASkillKeyWhileWalking", "W+ ~500 W* ~30 X+ ~30 X- ~1000 drop D+ ~300 D- W- ~10 A+ A-",
     "W+ W+ x+ x- d+ W- d- w- A+ A-", 2, kTick},
    // The hook held the same key going the same way just before the drop.
    {"DuringAutoRepeat", "W+ ~500 W* ~30 drop W* ~30 W* ~30 W* ~30 W* ~30 W* ~250 W- ~10 A+ A-",
     "W+ W+ w+ w+ w+ w+ w+ W- w- A+ A-", 2},
    // Wine gave up on the hook for one key-up while the launcher was frozen.
    {"OneKeyUpSkipped", "W+ ~10 skip W- ~10 A+ ~250 A-", "W+ w- W- Q+ Q- a-", 1},
    // A refused request is repeated at a later key, at most four times a second.
    {"RefusedOnceThenAccepted", "drop refuse W+ ~250 accept ~10 W- ~250 A+ A- ~10 W+ W-", "w+ w- a+ a- W+ W-", 3, 0,
     "w+ w- A+ A- W+ W-"},
    {"RefusedRequestsSpacedOut", "drop refuse W+ ~250 W- ~100 W+ ~100 W- ~100 W+ W-", "w+ w- w+ w- w+ w-", 3},
    // A macro tool's key stamped a day ahead must not count every later key as seen.
    {"AfterAKeyInjectedWithAFutureTime", "inject-ahead ~100 drop D+ ~250 D- ~10 W+ W-", "X+ X- d+ d- W+ W-", 2},
};

// The keyboard taken away and given back: an elevated window, a hung client's
// ghost or the secure desktop in front gets the player's keys, and the
// launcher neither sees them nor may send; it sees no key-up of the walk.
const Session kBlinded[] = {
    {"ByAnElevatedWindow", "W+ A+ @elevated W- A- ~100 @client S+ S-", "W+ W- Q+ Q- S+ S-", 1},
    {"ByAGhostWindow", "W+ A+ @ghost W- A- ~100 @client S+ S-", "W+ W- Q+ Q- S+ S-", 1},
    {"ByTheSecureDesktop", "W+ A+ @secure W- A- ~100 @client S+ S-", "W+ W- Q+ Q- S+ S-", 1},
    // Not blinded, but the foreground went with no key typed.
    {"ForegroundTakenWithoutAKey", "W+ ~100 @other ~100 @client ~100 W- ~10 D+ D-", "W+ w- D+ D-", 1},
};

const Session kAlive[] = {
    {"FastTyping", "W+ A+ W- S+ A- D+ S- D-", "W+ W- Q+ Q- A+ A- Z+ Z- S+ S- C+ C- D+ D-", 1},
    {"AutoRepeatAndLongHold", "W+ ~500 W* ~30 W* ~30 W* ~3000 W-", "W+ W+ W+ W+ W-", 1},
    // The walk's own key-ups of keys the player still holds are no missed key-ups.
    {"DiagonalHeld", "W+ ~100 A+ ~1000 A- ~1000 W-", "W+ W- Q+ Q- W+ W-", 1},
    // W held, a skill key tapped: its key-up is the last key event, and the walk goes on.
    {"SkillKeyWhileWalking", "W+ ~500 W* ~30 W* ~30 X+ ~30 X- ~3000 W-", "W+ W+ W+ x+ x- W-", 1, kTick},
    {"SkillKeyWhileWalkingBehindSlowHooks", "W+ ~500 W* ~30 X+ ~30 X- ~3000 W-", "W+ W+ x+ x- W-", 1, 5 * kTick},
    {"TypingInAnotherWindowRawInputLate", "@other X+ X- Y+ ~40 Y- ~30 X+ ~20 X- ~3000", "", 1, kTick},
    {"Modifiers", "W+ Shift+ ~300 W- Shift- ~300 D+ D-", "W+ W- shift+ w- shift- D+ D-", 1},
    // Under Wine, Shift reaches the hook inside the SendInput of the W the
    // walker sends before it, and goes out again behind it.
    {"ModifiersRawInputLate", "W+ Shift+ ~300 W- Shift- ~300 D+ D-", "W+ W- shift+ w- shift- D+ D-", 1, kTick,
     "W+ W- Shift+ w- shift- D+ D-"},
    {"FocusChanges", "W+ @other A+ ~300 A- W- @client ~300 S+ S-", "W+ S+ S-", 1},
    {"ClientHangsForSeconds", "hang W+ A+ ~3000 W- A- ~3000 resume", "W+ W- Q+ Q- A+ A-", 1},
    // Keys typed while the launcher was busy: under Wine their hook calls run
    // inside the walker's own SendInput, and the walk still comes out in order.
    {"RepeatsAndReleaseWhileBusy", "W+ ~10 hang W* ~30 W* ~30 W- ~30 D+ ~30 D- ~30 resume", "W+ W+ W+ W- D+ D-", 1},
    {"BehindASlowHook", "W+ ~100 A+ ~100 W- ~100 S+ ~100 A- ~100 S- ~100 D+ ~100 D-",
     "W+ W- Q+ Q- A+ A- Z+ Z- S+ S- D+ D-", 1, 200},
    // Hooks after ours take their time over the walk's own keys too; our hook
    // call must not last that long, or Windows removes the hook.
    {"AheadOfAHookThatTakes400ms", "behind400 W+ ~100 A+ ~100 W* ~100 W- ~100 A-", "W+ W- Q+ Q+ Q- A+ A-", 1},
    // A key typed as the walk's keys go out reaches the hook inside their
    // SendInput; it goes out again behind them, the same key.
    {"KeyTypedAsTheWalkGoesOut", "S+ ^X+ A+ X- S- A-", "S+ S- Z+ X+ x- Z- A+ A-", 1},
    {"KeyUpTypedAsTheWalkGoesOut", "Shift+ W+ Shift- S+ ^W- A+ S- A-", "shift+ w+ shift- S+ S- Z+ W- Z- A+ A-", 1},
    // A modifier typed so, and a direction key right behind it: the modifier
    // counts as held though it has not gone out yet.
    {"ModifierTypedAsTheWalkGoesOut", "S+ ^Shift+,W+ A+ W- Shift- S- A-", "S+ S- Z+ Z- Shift+ W+ w- shift- s- a-", 1},
    // A modifier that ends the walk, and a direction key typed as the walk's
    // key-up goes out: the direction key comes behind the modifier, not walked.
    {"DirectionKeyTypedAsAModifierEndsTheWalk", "W+ A+ ^D+ Ctrl+ D- Ctrl- A- W-", "W+ W- Q+ Q- Ctrl+ D+ d- ctrl- a- w-",
     1},
    // Raw input names Shift, Ctrl and Alt without their side.
    {"EveryModifierRawInputLate",
     "Ctrl+ ~30 Ctrl- ~300 RCtrl+ ~30 RCtrl- ~300 Alt+ ~30 Alt- ~300 RAlt+ ~30 RAlt- ~300 RShift+ ~30 RShift- ~300",
     "ctrl+ ctrl- rctrl+ rctrl- alt+ alt- ralt+ ralt- rshift+ rshift-", 1, kTick},
    // Another launcher walks its own client with a hook ahead of ours; its
    // key-ups are old news once our walk presses the same keys.
    {"BesideAnotherLauncher", "@other ahead W+ ~30 A+ ~30 A- ~30 W- alone @client ~300 W+ ~30 A+ ~300 A- ~30 W-",
     "W+ W- Q+ Q- W+ W-", 1},

    // Injected keys, ours or anyone's, never count as missed.
    {"InjectedByAnotherProgram", "inject ~300 W+ W-", "X+ X- W+ W-", 1},
    {"InjectedByAnotherProgramRawInputLate", "inject ~300 W+ W-", "X+ X- W+ W-", 1, kTick},
    {"InjectedWhileTheHookIsGone", "drop inject ~1000", "X+ X-", 1},
};

std::string Name(const testing::TestParamInfo<Played>& info) {
  return std::string(std::get<Session>(info.param).name) + "_" + standin::NameOf(std::get<InputOrder>(info.param)) +
         (std::get<bool>(info.param) ? "_ScanCodes" : "");
}

const auto kOrders = testing::Values(InputOrder::Windows, InputOrder::Wine);
const auto kScanCodes = testing::Bool();
INSTANTIATE_TEST_SUITE_P(Dropped, Watchdog, testing::Combine(testing::ValuesIn(kDropped), kOrders, kScanCodes), Name);
INSTANTIATE_TEST_SUITE_P(Alive, Watchdog, testing::Combine(testing::ValuesIn(kAlive), kOrders, kScanCodes), Name);
INSTANTIATE_TEST_SUITE_P(Blinded, Watchdog, testing::Combine(testing::ValuesIn(kBlinded), kOrders, kScanCodes), Name);

// Under Wine, SendInput serves the hook calls of keys already typed: one can
// arrive inside the release of a walk that the launcher sends from its
// message loop (the foreground left the client, or a key-up went missing).
// The release is on record by then, so the key starts a walk of its own.
TEST(ReleaseOutsideTheHook, AKeyServedInsideItsSendInputStartsANewWalk) {
  player::SetUpDesktop(KeyboardHookProc, InputOrder::Wine);
  StartHookWatchdog(nullptr);
  player::Play("W+");
  player::Play("W*", false);  // its hook call waits for the launcher
  ReleaseAll();
  SendKeysNow();
  player::Play("W-");
  EXPECT_EQ(standin::Stream(player::ClientWindow()), "W+ W- W+ W-");
  for (int vk = 1; vk < 256; ++vk)
    EXPECT_FALSE(standin::IsKeyDown(static_cast<BYTE>(vk))) << standin::KeyName(static_cast<BYTE>(vk)) << " stuck";
  StopHookWatchdog();
}

}  // namespace
