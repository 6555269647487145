// The platform may silently drop the keyboard hook; raw input witnesses the
// keys the hook missed, and the launcher hooks again.
#include "walking/hook_watchdog.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"

namespace {

struct Session {
  const char* name;
  // Player's keys as in player::Play, pumped after each step, plus:
  // "~N" N ms pass; "drop" the platform drops the hook; "skip" the next key
  // goes past the hook as after a timeout under Wine; "refuse"/"accept"
  // hook requests fail or succeed; "hang"/"resume" the launcher stops and
  // resumes pumping (hook calls are still served); "inject" another program
  // injects X.
  const char* script;
  const char* client;  // what the client gets
  int hookRequests;    // the start included
  bool rawAheadOfHook;
  bool injectedRawHasDevice;
  DWORD hookLagMs;  // hooks called before ours hold each key this long
};

void PrintTo(const Session& s, std::ostream* out) { *out << '"' << s.script << '"'; }

void InjectFromAnotherProgram(BYTE vk) {
  INPUT inputs[2] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
  }
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, inputs, sizeof(INPUT));
}

class Watchdog : public testing::TestWithParam<Session> {
 protected:
  void SetUp() override {
    player::SetUpDesktop();
    standin::RawInputAheadOfHook(GetParam().rawAheadOfHook, GetParam().hookLagMs);
    standin::InjectedRawInputHasDevice(GetParam().injectedRawHasDevice);
    StartHookWatchdog(nullptr);
  }
  void TearDown() override { StopHookWatchdog(); }

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
      } else {
        player::Play(step);
      }
      if (pumping) player::Pump();
    }
  }
};

TEST_P(Watchdog, HooksAgainOnlyWhenTheHookIsGone) {
  // The session starts after the hook; long after the last key, whatever the
  // script left running has settled.
  Play("~10 " + std::string(GetParam().script) + " ~5000");
  EXPECT_EQ(standin::Stream(player::ClientWindow()), GetParam().client);
  EXPECT_EQ(standin::KeyboardHookRequests(), GetParam().hookRequests);
  // No timer is left to wake the launcher while nobody types.
  EXPECT_EQ(standin::TimersArmed(), 0);
  for (int vk = 1; vk < 256; ++vk)
    EXPECT_FALSE(standin::IsKeyDown(static_cast<BYTE>(vk))) << standin::KeyName(static_cast<BYTE>(vk)) << " stuck";
}

const Session kDropped[] = {
    // The walk held when the hook went ends a grace period after the next key.
    {"WhileWalking", "W+ ~100 drop A+ ~250 A- W- ~10 W+ A+ W- A-", "W+ a+ W- a- w- W+ W- Q+ Q- A+ A-", 2},
    {"WhileIdle", "~100 drop ~1000 D+ ~250 D- ~10 W+ W-", "d+ d- W+ W-", 2},
    // Typing leaves raw input to be read in batches; a quiet spell ends that.
    {"AfterAQuietSpell", "W+ W- ~1000 drop D+ ~250 D- ~10 W+ W-", "W+ W- d+ d- W+ W-", 2},
    // Keys typed on after the drop do not put the release off.
    {"WhileTypingOn", "W+ ~100 drop A+ ~100 S+ ~100 S- ~60 D+ D- A- W-", "W+ a+ s+ s- W- D+ D- a- w-", 2},
    {"Twice", "W+ ~10 drop S+ ~250 S- W- ~10 drop D+ ~250 D- ~10 A+ A-", "W+ s+ W- s- w- d+ d- A+ A-", 3},
    // Wine gave up on the hook for one key-up while the launcher was frozen.
    {"OneKeyUpSkipped", "W+ ~10 skip W- ~10 A+ ~250 A-", "W+ w- W- Q+ Q- a-", 1},
    {"OneKeyUpSkippedRawInputAhead", "W+ ~10 skip W- ~10 A+ ~250 A-", "W+ w- W- Q+ Q- a-", 1, true, true},
    // A grace period already running for a key the hook saw late does not hold back the next.
    {"RawInputAheadOfTheHook", "W+ ~100 drop A+ ~250 A- W- ~10 W+ A+ W- A-", "W+ a+ W- a- w- W+ W- Q+ Q- A+ A-", 2,
     true, true},
    // A refused request is repeated at a later key, at most four times a second.
    {"RefusedOnceThenAccepted", "drop refuse W+ ~250 accept ~10 W- ~250 A+ A- ~10 W+ W-", "w+ w- a+ a- W+ W-", 3},
    {"RefusedRequestsSpacedOut", "drop refuse W+ ~250 W- ~100 W+ ~100 W- ~100 W+ W-", "w+ w- w+ w- w+ w-", 3},
};

const Session kAlive[] = {
    {"FastTyping", "W+ A+ W- S+ A- D+ S- D-", "W+ W- Q+ Q- A+ A- Z+ Z- S+ S- C+ C- D+ D-", 1},
    {"AutoRepeatAndLongHold", "W+ ~500 W* ~30 W* ~30 W* ~3000 W-", "W+ W+ W+ W+ W-", 1},
    {"Modifiers", "W+ Shift+ ~300 W- Shift- ~300 D+ D-", "W+ W- shift+ w- shift- D+ D-", 1},
    {"FocusChanges", "W+ @other A+ ~300 A- W- @client ~300 S+ S-", "W+ S+ S-", 1},
    {"ClientHangsForSeconds", "hang W+ A+ ~3000 W- A- ~3000 resume", "W+ W- Q+ Q- A+ A-", 1},
    {"RawInputAheadOfTheHook", "W+ ~300 A+ ~300 A- W- ~300", "W+ W- Q+ Q- W+ W-", 1, true, true},
    {"BehindASlowHook", "W+ ~100 A+ ~100 W- ~100 S+ ~100 A- ~100 S- ~100 D+ ~100 D-",
     "W+ W- Q+ Q- A+ A- Z+ Z- S+ S- D+ D-", 1, true, true, 200},
    {"HangWithRawInputAheadOfTheHook", "hang W+ A+ ~3000 W- A- ~3000 resume", "W+ W- Q+ Q- A+ A-", 1, true, true},
    // Injected keys, ours or anyone's, never count as missed.
    {"InjectedByAnotherProgram", "inject ~300 W+ W-", "X+ X- W+ W-", 1},
    {"InjectedWithADevice", "inject ~300 W+ W-", "X+ X- W+ W-", 1, false, true},
    {"InjectedWhileTheHookIsGone", "drop inject ~1000", "X+ X-", 1},
};

std::string Name(const testing::TestParamInfo<Session>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Dropped, Watchdog, testing::ValuesIn(kDropped), Name);
INSTANTIATE_TEST_SUITE_P(Alive, Watchdog, testing::ValuesIn(kAlive), Name);

}  // namespace
