// Which physical events the hook takes over, which it passes on, and when
// walking stops.
#include "walking/keyboard_hook.h"

#include <gtest/gtest.h>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/direction.h"

namespace {

struct Case {
  const char* name;
  const char* keys;
  // What the hook does with each physical key: S swallows it, P passes it on
  // through the chain, R returns without the chain (hiding it from later hooks).
  const char* hook;
  const char* client;  // what the client gets
  const char* other;   // what the other application gets
  bool walkingOff = false;
};

void PrintTo(const Case& c, std::ostream* out) { *out << '"' << c.keys << '"'; }

class HookFilter : public testing::TestWithParam<Case> {
 protected:
  void SetUp() override { player::SetUpDesktop(); }
};

TEST_P(HookFilter, RoutesKeys) {
  smartWalkingEnabled = !GetParam().walkingOff;
  player::Play(GetParam().keys);
  EXPECT_EQ(standin::Outcomes(), GetParam().hook);
  EXPECT_EQ(standin::Stream(player::ClientWindow()), GetParam().client);
  EXPECT_EQ(standin::Stream(player::OtherWindow()), GetParam().other);
  for (const standin::ChainCall& call : standin::ChainCalls()) EXPECT_EQ(call.hook, keyboardHook);
}

const Case kCases[] = {
    {"OtherAppGetsPhysicalW", "@other W+ W-", "P P", "", "w+ w-"},
    {"NoForegroundWindowPassesW", "@none W+ W- @client", "P P", "", ""},
    {"LeavingTheClientReleasesOnNextKey", "W+ @other X+", "S P", "W+", "W- x+"},
    {"LeavingTheClientReleasesOnDirectionKey", "W+ @other W-", "S P", "W+", "W- w-"},
    {"CtrlReleasesTheWalk", "W+ A+ Ctrl+", "S S P", "W+ W- Q+ Q- ctrl+", ""},
    {"RightAltReleasesTheWalk", "D+ RAlt+", "S P", "D+ D- ralt+", ""},
    {"ModifierReleasesEvenInAnotherApp", "W+ @other Shift+", "S P", "W+", "W- shift+"},
    {"CtrlWReachesClientUntouched", "Ctrl+ W+ W- Ctrl-", "P P P P", "ctrl+ w+ w- ctrl-", ""},
    {"ShiftSReachesClientUntouched", "Shift+ S+ S- Shift-", "P P P P", "shift+ s+ s- shift-", ""},
    {"AltDReachesClientUntouched", "Alt+ D+ D- Alt-", "P P P P", "alt+ d+ d- alt-", ""},
    {"WinReleasesTheWalk", "W+ A+ Win+", "S S P", "W+ W- Q+ Q- win+", ""},
    {"RightWinReleasesTheWalk", "D+ RWin+", "S P", "D+ D- rwin+", ""},
    {"WinAReachesClientUntouched", "Win+ A+ A- Win-", "P P P P", "win+ a+ a- win-", ""},
    {"RightWinSReachesClientUntouched", "RWin+ S+ S- RWin-", "P P P P", "rwin+ s+ s- rwin-", ""},
    // Win+L: the key-ups happen on the lock screen, where no hook sees them.
    {"WalkingAfterTheLockScreen", "D+ Win+ L+ !L- !Win- D- D+ D-", "S P P P S S", "D+ D- win+ l+ l- win- d- D+ D-", ""},
    {"ModifierKeyUpIsAnOrdinaryKey", "Ctrl+ Ctrl- W+", "P P S", "ctrl+ ctrl- W+", ""},
    {"OtherKeysLeaveTheWalkAlone", "W+ Up+ Up- Space+ A+", "S P P P S", "W+ up+ up- space+ W- Q+", ""},
    {"WalkResumesAfterTheModifierOnRepeat", "W+ Shift+ Shift- W*", "S P P S", "W+ W- shift+ shift- W+", ""},
    // A key-up follows its key-down to whoever got it, or that one keeps the key down.
    {"KeyUpFollowsAKeyDownPassedWithShift", "Shift+ W+ Shift- A+ A- W-", "P P P S S P", "shift+ w+ shift- A+ A- w-",
     ""},
    {"KeyUpFollowsAKeyDownPassedToAnotherApp", "@other D+ @client D-", "P P", "d-", "d+"},
    {"WithWalkingOffEveryKeyPasses", "W+ A+ A- W- Ctrl+ S+ S- Ctrl-", "P P P P P P P P",
     "w+ a+ a- w- ctrl+ s+ s- ctrl-", "", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, HookFilter, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(HookFilterEdges, InjectedKeysPassUntouchedEvenInTheClient) {
  player::SetUpDesktop();
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = 'W';
  SendInput(1, &input, sizeof input);
  EXPECT_EQ(standin::LastOutcome(), standin::Outcome::PassedOn);
  EXPECT_EQ(standin::Stream(player::ClientWindow()), "W+");
  EXPECT_EQ(heldW, 0);
  EXPECT_EQ(sentKey, 0);
}

TEST(HookFilterEdges, CodesOtherThanActionArePassedOnUntouched) {
  player::SetUpDesktop();
  KBDLLHOOKSTRUCT event{};
  event.vkCode = 'W';
  EXPECT_EQ(KeyboardHookProc(3, WM_KEYDOWN, reinterpret_cast<LPARAM>(&event)), 0);
  ASSERT_EQ(standin::ChainCalls().size(), 1u);
  const standin::ChainCall& call = standin::ChainCalls()[0];
  EXPECT_EQ(call.hook, keyboardHook);
  EXPECT_EQ(call.code, 3);
  EXPECT_EQ(call.message, static_cast<WPARAM>(WM_KEYDOWN));
  EXPECT_EQ(call.event, reinterpret_cast<LPARAM>(&event));
  EXPECT_EQ(heldW, 0);
  EXPECT_EQ(standin::SendInputCalls(), 0);
}

TEST(HookFilterEdges, UnknownMessageForADirectionKeyIsSwallowedWithoutChange) {
  player::SetUpDesktop();
  player::Play("W+");
  standin::SendPhysical(0x0200, 'A');
  EXPECT_EQ(standin::LastOutcome(), standin::Outcome::Swallowed);
  EXPECT_EQ(standin::Stream(player::ClientWindow()), "W+");
  EXPECT_EQ(heldA, 0);
}

TEST(HookFilterEdges, PhysicalDirectionKeysAreSwallowedIncludingKeyUps) {
  player::SetUpDesktop();
  for (const char* step : {"W+", "W*", "W-"}) {
    player::Play(step, false);
    EXPECT_EQ(standin::LastOutcome(), standin::Outcome::Swallowed) << step;
  }
}

TEST(ClientForeground, FollowsTheOwnerOfTheForegroundWindow) {
  player::SetUpDesktop();
  EXPECT_TRUE(IsClientForeground());
  standin::SetForeground(player::OtherWindow());
  EXPECT_FALSE(IsClientForeground());
  standin::SetForeground(nullptr);
  EXPECT_FALSE(IsClientForeground());
  // A pop-up of the client counts as the client.
  standin::SetForeground(
      standin::AddWindow(player::kClientProcess, L"Inventory", true, nullptr, player::ClientWindow()));
  EXPECT_TRUE(IsClientForeground());
}

}  // namespace
