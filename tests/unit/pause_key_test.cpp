// The pause key: the player pauses walking to type in the game's chat and
// resumes it with the same key. The chat mode's Enter and Esc switch the same
// pause, so their rows stand beside the pause key's.
#include "walking/pause_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/chat_mode.h"
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
  bool chatMode = false;
};

void PrintTo(const Switch& s, std::ostream* out) { *out << '"' << s.keys << '"'; }

class PauseKeySwitch : public testing::TestWithParam<Switch> {
 protected:
  void SetUp() override {
    player::SetUpDesktop();
    pauseKey = GetParam().pauseKey;
    UseChatMode(GetParam().chatMode);
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
    // The chat mode: Enter opens the chat and sends it, Esc closes it.
    {"ChatEnterPauses", VK_SCROLL, "Enter+ Enter- W+ A+", "enter+ enter- w+ a+", "", true, true},
    {"ChatEnterAgainResumes", VK_SCROLL, "Enter+ Enter- Enter+ Enter- W+ A+", "enter+ enter- enter+ enter- W+ W- Q+",
     "", false, true},
    {"ChatEscResumes", VK_SCROLL, "Enter+ Enter- Esc+ Esc- W+ A+", "enter+ enter- esc+ esc- W+ W- Q+", "", false, true},
    {"ChatEscWhileWalkingChangesNothing", VK_SCROLL, "Esc+ Esc- W+ A+", "esc+ esc- W+ W- Q+", "", false, true},
    {"ChatEnterHeldWithRepeatsPausesOnce", VK_SCROLL, "Enter+ Enter* Enter* Enter* Enter- W+",
     "enter+ enter+ enter+ enter+ enter- w+", "", true, true},
    {"ChatRepeatsOfAnEnterPressedElsewhere", VK_SCROLL, "@other Enter+ @client Enter* Enter- W+", "enter+ enter- W+",
     "enter+", false, true},
    {"ChatAltEnterSwitchesNothing", VK_SCROLL, "Alt+ Enter+ Enter- Alt- W+ A+", "alt+ enter+ enter- alt- W+ W- Q+", "",
     false, true},
    {"ChatRightAltEnterSwitchesNothing", VK_SCROLL, "RAlt+ Enter+ Enter- RAlt- W+ A+",
     "ralt+ enter+ enter- ralt- W+ W- Q+", "", false, true},
    {"ChatCtrlEnterSwitchesNothing", VK_SCROLL, "Ctrl+ Enter+ Enter- Ctrl- W+ A+", "ctrl+ enter+ enter- ctrl- W+ W- Q+",
     "", false, true},
    {"ChatShiftEnterSwitchesNothing", VK_SCROLL, "Shift+ Enter+ Enter- Shift- W+ A+",
     "shift+ enter+ enter- shift- W+ W- Q+", "", false, true},
    {"ChatWinEnterSwitchesNothing", VK_SCROLL, "Win+ Enter+ Enter- Win- W+ A+", "win+ enter+ enter- win- W+ W- Q+", "",
     false, true},
    {"ChatShiftEnterKeepsThePause", VK_SCROLL, "Enter+ Enter- Shift+ Enter+ Enter- Shift- W+ A+",
     "enter+ enter- shift+ enter+ enter- shift- w+ a+", "", true, true},
    {"ChatAltEscKeepsThePause", VK_SCROLL, "Enter+ Enter- Alt+ Esc+ Esc- Alt- W+ A+",
     "enter+ enter- alt+ esc+ esc- alt- w+ a+", "", true, true},
    {"ChatEnterInAnotherWindowChangesNothing", VK_SCROLL, "@other Enter+ Enter- @client W+ A+", "W+ W- Q+",
     "enter+ enter-", false, true},
    {"ChatEscInAnotherWindowKeepsThePause", VK_SCROLL, "Enter+ Enter- @other Esc+ Esc- @client W+", "enter+ enter- w+",
     "esc+ esc-", true, true},
    {"ChatModeOffEnterAndEscAreOrdinaryKeys", VK_SCROLL, "Enter+ Enter- W+ A+ Esc+ Esc-",
     "enter+ enter- W+ W- Q+ esc+ esc-", "", false, false},
    // Alongside the pause key: one pause, which either key switches and Esc ends.
    {"ChatEnterResumesAPauseKeyPause", VK_SCROLL, "Scroll+ Scroll- Enter+ Enter- W+ A+",
     "scroll+ scroll- enter+ enter- W+ W- Q+", "", false, true},
    {"ChatPauseKeyResumesAnEnterPause", VK_SCROLL, "Enter+ Enter- Scroll+ Scroll- W+ A+",
     "enter+ enter- scroll+ scroll- W+ W- Q+", "", false, true},
    {"ChatEscResumesAPauseKeyPause", VK_SCROLL, "Scroll+ Scroll- Esc+ Esc- W+ A+", "scroll+ scroll- esc+ esc- W+ W- Q+",
     "", false, true},
    // Enter chosen as the pause key too: one press is one switch, not two.
    {"ChatEnterAsThePauseKeySwitchesOnce", VK_RETURN, "Enter+ Enter- W+ A+", "enter+ enter- w+ a+", "", true, true},
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
  void SetUp() override {
    player::SetUpDesktop();
    // Rows with Enter or Esc are the chat mode's; the others never press them.
    UseChatMode(true);
  }
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
                   "scroll+ scroll- d+ d- scroll+ scroll- W+ W- Q+ Q- A+ A-"},
        // The same through the chat: Enter ends a held walk, and Enter or Esc resume.
        Transition{"W+ A+ Enter+ Enter- A- W-", "W+ W- Q+ Q- enter+ enter- a- w-"},
        Transition{"D+ Enter+ D* D- Enter- Esc+ Esc-", "D+ D- enter+ d+ d- enter- esc+ esc-"},
        Transition{"Enter+ Enter- W+ A+ Enter+ Enter- A- W-", "enter+ enter- w+ a+ enter+ enter- a- w-"},
        Transition{"Enter+ Enter- W+ Esc+ Esc- A+ W- A-", "enter+ enter- w+ esc+ esc- A+ w- A-"},
        Transition{"Enter+ Enter- D+ D- Esc+ Esc- W+ A+ W- A-", "enter+ enter- d+ d- esc+ esc- W+ W- Q+ Q- A+ A-"}));

}  // namespace
