// The pause key: the player pauses walking to type in the game's chat and
// resumes it with the same key.
#include "walking/pause_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/direction.h"

namespace {

void ExpectNothingDown() {
  for (int vk = 1; vk < 256; ++vk)
    EXPECT_FALSE(standin::IsKeyDown(static_cast<BYTE>(vk))) << standin::KeyName(static_cast<BYTE>(vk)) << " stuck";
  EXPECT_EQ(sentKey, 0);
}

// --- Switching -------------------------------------------------------------------

struct Switch {
  const char* name;
  BYTE pauseKey;
  const char* keys;
  const char* client;  // what the client gets
  const char* other;   // what the other application gets
  bool paused;         // afterwards
};

void PrintTo(const Switch& s, std::ostream* out) { *out << '"' << s.keys << '"'; }

class PauseKeySwitch : public testing::TestWithParam<Switch> {
 protected:
  void SetUp() override {
    player::SetUpDesktop();
    pauseKey = GetParam().pauseKey;
  }
};

TEST_P(PauseKeySwitch, SwitchesWalking) {
  player::Play(GetParam().keys);
  EXPECT_EQ(standin::Stream(player::ClientWindow()), GetParam().client);
  EXPECT_EQ(standin::Stream(player::OtherWindow()), GetParam().other);
  EXPECT_EQ(walkingPaused, GetParam().paused);
}

const Switch kSwitches[] = {
    {"PressPauses", VK_SCROLL, "Scroll+ Scroll- W+ A+", "scroll+ scroll- w+ a+", "", true},
    {"PressAgainResumes", VK_SCROLL, "Scroll+ Scroll- Scroll+ Scroll- W+ A+",
     "scroll+ scroll- scroll+ scroll- W+ W- Q+", "", false},
    {"HeldWithRepeatsPausesOnce", VK_SCROLL, "Scroll+ Scroll* Scroll* Scroll* Scroll- W+",
     "scroll+ scroll+ scroll+ scroll+ scroll- w+", "", true},
    {"HeldWithRepeatsResumesOnce", VK_SCROLL, "Scroll+ Scroll- Scroll+ Scroll* Scroll* Scroll* Scroll- W+",
     "scroll+ scroll- scroll+ scroll+ scroll+ scroll+ scroll- W+", "", false},
    {"AnotherWindowInFrontChangesNothing", VK_SCROLL, "@other Scroll+ Scroll- @client W+", "W+", "scroll+ scroll-",
     false},
    {"NoWindowInFrontChangesNothing", VK_SCROLL, "@none Scroll+ Scroll- @client W+", "W+", "", false},
    // Held since another window had the focus: its repeats in the client are no press.
    {"RepeatsOfAKeyPressedElsewhere", VK_SCROLL, "@other Scroll+ @client Scroll* Scroll- W+", "scroll+ scroll- W+",
     "scroll+", false},
    // The key-up went to another window; the next press still counts.
    {"KeyUpInAnotherWindowKeepsTheNextPress", VK_SCROLL, "Scroll+ @other Scroll- @client Scroll+ Scroll- W+",
     "scroll+ scroll+ scroll- W+", "scroll-", false},
    {"WithAModifierHeldStillPauses", VK_SCROLL, "Shift+ Scroll+ Scroll- Shift- W+ A+",
     "shift+ scroll+ scroll- shift- w+ a+", "", true},
    {"AnotherKeyChosen", VK_PAUSE, "Pause+ Pause- W+ A+", "pause+ pause- w+ a+", "", true},
    {"ScrollLockIsAnOrdinaryKeyWhenAnotherIsChosen", VK_PAUSE, "Scroll+ Scroll- W+ A+", "scroll+ scroll- W+ W- Q+", "",
     false},
    {"NoPauseKey", 0, "Scroll+ Scroll- Pause+ Pause- W+ A+", "scroll+ scroll- pause+ pause- W+ W- Q+", "", false},
};

INSTANTIATE_TEST_SUITE_P(Cases, PauseKeySwitch, testing::ValuesIn(kSwitches),
                         [](const testing::TestParamInfo<Switch>& info) { return std::string(info.param.name); });

TEST(PauseKeyEdges, ThePauseKeyAlwaysPassesOn) {
  player::SetUpDesktop();
  for (const char* step : {"Scroll+", "Scroll*", "Scroll-", "W+", "Scroll+", "Scroll-", "@other", "Scroll+"}) {
    player::Play(step);
    if (step[0] == 'S') EXPECT_FALSE(standin::LastSwallowed()) << step;
  }
}

TEST(PauseKeyEdges, InjectedPauseKeysNeverSwitch) {
  player::SetUpDesktop();
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = VK_SCROLL;
  SendInput(1, &input, sizeof input);
  input.ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(1, &input, sizeof input);
  EXPECT_FALSE(walkingPaused);
  EXPECT_FALSE(pauseKeyDown);
  player::Play("W+ A+");
  EXPECT_EQ(standin::Stream(player::ClientWindow()), "Scroll+ Scroll- W+ W- Q+");
}

TEST(PauseKeyEdges, WithWalkingOffThePauseKeyChangesNothing) {
  player::SetUpDesktop();
  smartWalkingEnabled = false;
  player::Play("Scroll+ Scroll- W+ A+ A- W-");
  EXPECT_FALSE(walkingPaused);
  EXPECT_EQ(standin::Stream(player::ClientWindow()), "scroll+ scroll- w+ a+ a- w-");
}

TEST(PauseKeyEdges, ACodeOfZeroIsNoKey) {
  player::SetUpDesktop();
  pauseKey = 0;
  standin::SendPhysical(WM_KEYDOWN, 0);
  EXPECT_FALSE(walkingPaused);
}

// --- Typing while paused -------------------------------------------------------------

// What the client gets when every key passes as typed: "W+ W*" gives "w+ w+".
std::string AsTyped(std::string keys) {
  std::transform(keys.begin(), keys.end(), keys.begin(), [](char c) {
    return c == '*' ? '+' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  return keys;
}

class TypingWhilePaused : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    player::SetUpDesktop();
    player::Play("Scroll+ Scroll-");
  }
};

TEST_P(TypingWhilePaused, ReachesTheClientAsTyped) {
  player::Play(GetParam());
  EXPECT_EQ(standin::Stream(player::ClientWindow()), "scroll+ scroll- " + AsTyped(GetParam()));
  EXPECT_EQ(standin::SendInputCalls(), 0);
  ExpectNothingDown();
}

INSTANTIATE_TEST_SUITE_P(Rollovers, TypingWhilePaused,
                         testing::Values("W+ A+ W- S+ A- D+ S- D-",                  // "wasd", fast
                                         "S+ A+ S- D+ A- W+ D- W-",                  // "sadw", fast
                                         "W+ A+ S+ D+ W- A- S- D-",                  // all four at once
                                         "Shift+ W+ Shift- A+ W- A-",                // "Wa"
                                         "D+ D* D* D- Space+ Space- W+ S+ W- S-"));  // "ddd ws"

// --- Entering and leaving the pause ------------------------------------------------------

struct Transition {
  const char* keys;
  const char* client;
};

void PrintTo(const Transition& t, std::ostream* out) { *out << '"' << t.keys << '"'; }

class PauseTransition : public testing::TestWithParam<Transition> {
 protected:
  void SetUp() override { player::SetUpDesktop(); }
};

TEST_P(PauseTransition, LeavesNoKeyDown) {
  player::Play(GetParam().keys);
  EXPECT_EQ(standin::Stream(player::ClientWindow()), GetParam().client);
  ExpectNothingDown();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PauseTransition,
    testing::Values(
        // A walk held when pausing ends with its key-up, before the pause key arrives.
        Transition{"W+ A+ Scroll+ Scroll- A- W-", "W+ W- Q+ Q- scroll+ scroll- a- w-"},
        Transition{"S+ Scroll+ S* S- Scroll-", "S+ S- scroll+ s+ s- scroll-"},
        // Keys held when resuming: their key-ups follow what the client got.
        Transition{"Scroll+ Scroll- W+ A+ Scroll+ Scroll- A- W-", "scroll+ scroll- w+ a+ scroll+ scroll- a- w-"},
        Transition{"Scroll+ Scroll- W+ Scroll+ Scroll- A+ W- A-", "scroll+ scroll- w+ scroll+ scroll- A+ w- A-"},
        Transition{"Scroll+ Scroll- W+ Scroll+ Scroll- W* W-", "scroll+ scroll- w+ scroll+ scroll- W+ W-"},
        // Walking after resuming starts from nothing held.
        Transition{"Scroll+ Scroll- D+ D- Scroll+ Scroll- W+ A+ W- A-",
                   "scroll+ scroll- d+ d- scroll+ scroll- W+ W- Q+ Q- A+ A-"}));

}  // namespace
