// What the client sees while the player holds W/A/S/D in it.
#include <gtest/gtest.h>

#include <cstdio>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/direction.h"
#include "walking/injected_key.h"
#include "walking/key_sender.h"

namespace {

struct Walk {
  const char* keys;      // physical events, in the client
  const char* received;  // what the client gets
};

void PrintTo(const Walk& walk, std::ostream* out) { *out << '"' << walk.keys << '"'; }

class Walking : public testing::TestWithParam<Walk> {
 protected:
  void SetUp() override { player::SetUpDesktop(); }
};

TEST_P(Walking, ClientSeesOneResolvedKey) {
  player::Play(GetParam().keys);
  EXPECT_EQ(standin::Stream(player::ClientWindow()), GetParam().received);
}

INSTANTIATE_TEST_SUITE_P(Straight, Walking,
                         testing::Values(Walk{"W+", "W+"}, Walk{"W+ W-", "W+ W-"}, Walk{"A+ A-", "A+ A-"},
                                         Walk{"S+ S-", "S+ S-"}, Walk{"D+ D-", "D+ D-"},
                                         // auto-repeat of the held key repeats the resolved key, with no key-up
                                         Walk{"W+ W* W* W-", "W+ W+ W+ W-"}));

INSTANTIATE_TEST_SUITE_P(Diagonals, Walking,
                         testing::Values(Walk{"W+ A+", "W+ W- Q+"}, Walk{"W+ D+", "W+ W- E+"},
                                         Walk{"S+ A+", "S+ S- Z+"}, Walk{"S+ D+", "S+ S- C+"},
                                         Walk{"A+ W+", "A+ A- Q+"}, Walk{"D+ S+", "D+ D- C+"},
                                         Walk{"W+ A+ W-", "W+ W- Q+ Q- A+"}, Walk{"W+ A+ W- A-", "W+ W- Q+ Q- A+ A-"},
                                         Walk{"W+ A+ A-", "W+ W- Q+ Q- W+"}, Walk{"W+ A+ A*", "W+ W- Q+ Q+"}));

INSTANTIATE_TEST_SUITE_P(OppositeKeys, Walking,
                         testing::Values(
                             // the key pressed last wins its axis
                             Walk{"W+ S+", "W+ W- S+"}, Walk{"W+ S+ S-", "W+ W- S+ S- W+"}, Walk{"S+ W+", "S+ S- W+"},
                             Walk{"A+ D+", "A+ A- D+"}, Walk{"D+ A+ A-", "D+ D- A+ A- D+"},
                             // ...but only while it is the last direction key pressed at all
                             Walk{"W+ S+ A+", "W+ W- S+ S- Q+"}, Walk{"A+ D+ W+", "A+ A- D+ D- Q+"},
                             Walk{"W+ D+ S+", "W+ W- E+ E- C+"}, Walk{"W+ D+ A+", "W+ W- E+ E- Q+"},
                             Walk{"W+ S+ D+ A+ D-", "W+ W- S+ S- E+ E- Q+"}));

TEST(WalkingState, ReleaseAllWithNothingSentInjectsNothingAndForgetsTheKeys) {
  player::SetUpDesktop();
  heldW = heldS = 1;
  lastPressedKey = 'S';
  ReleaseAll();
  EXPECT_EQ(standin::SendInputCalls(), 0);
  EXPECT_EQ(heldW | heldA | heldS | heldD | lastPressedKey | sentKey, 0);
}

TEST(WalkingState, ReleaseAllLiftsTheHeldDiagonal) {
  player::SetUpDesktop();
  player::Play("S+ D+");
  ReleaseAll();
  SendKeysNow();
  EXPECT_EQ(standin::Stream(player::ClientWindow()), "S+ S- C+ C-");
  EXPECT_EQ(sentKey, 0);
  EXPECT_FALSE(standin::IsKeyDown('C'));
}

TEST(WalkingState, KeyUpNeverSeenGoingDownInjectsNothing) {
  player::SetUpDesktop();
  OnDirectionKey('D', false);
  EXPECT_EQ(standin::SendInputCalls(), 0);
  EXPECT_EQ(sentKey, 0);
}

TEST(WalkingState, InjectsOneKeyboardRecordPerEvent) {
  player::SetUpDesktop();
  player::Play("W+ A+");
  // The stand-in refuses records with flags it does not know.
  ASSERT_EQ(standin::Injected().size(), 3u);
  EXPECT_EQ(standin::SendInputCalls(), 3);
  EXPECT_EQ(standin::Stream(player::ClientWindow()), "W+ W- Q+");
}

struct ScanCodeWalk {
  const char* name;
  UINT setting;          // ScanCodes in the settings
  const char* keys;      // physical events, in the client
  const char* received;  // each key the client gets, with the scan code its message carries
};

void PrintTo(const ScanCodeWalk& walk, std::ostream* out) { *out << walk.name; }

class ScanCodes : public testing::TestWithParam<ScanCodeWalk> {
 protected:
  void SetUp() override {
    player::SetUpDesktop();
    UseScanCodes(GetParam().setting);
  }
};

// Clients that read scan codes ignore keys with scan code 0.
TEST_P(ScanCodes, EachInjectedKeyCarriesItsOwnOnlyWithTheSetting) {
  player::Play(GetParam().keys);
  std::string received;
  for (const standin::Delivered& key : standin::ReceivedBy(player::ClientWindow())) {
    char scan[8];
    std::snprintf(scan, sizeof scan, "%X", key.scanCode);
    received += (received.empty() ? "" : " ") + standin::KeyName(key.vk) + (key.down ? "+" : "-") + scan;
  }
  EXPECT_EQ(received, GetParam().received);
  // Every key the walker sends is marked as its own, wherever it is seen.
  for (const KBDLLHOOKSTRUCT& event : standin::HookEvents())
    if (event.flags & LLKHF_INJECTED) EXPECT_EQ(event.dwExtraInfo, kInjectedKeyMark);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ScanCodes,
    testing::Values(ScanCodeWalk{"Off", 0, "W+ A+ W- A-", "W+0 W-0 Q+0 Q-0 A+0 A-0"},
                    ScanCodeWalk{"OnStraight", 1, "W+ W- A+ A- S+ S- D+ D-", "W+11 W-11 A+1E A-1E S+1F S-1F D+20 D-20"},
                    ScanCodeWalk{"OnDiagonals", 1, "W+ A+ A- D+ D- W- S+ A+ A- D+ D- S-",
                                 "W+11 W-11 Q+10 Q-10 W+11 W-11 E+12 E-12 W+11 W-11 S+1F S-1F Z+2C Z-2C S+1F S-1F "
                                 "C+2E C-2E S+1F S-1F"},
                    // Keys the walker leaves alone keep the player's own.
                    ScanCodeWalk{"OffModifierPassesOn", 0, "W+ Shift+ W- Shift-", "W+0 W-0 Shift+2A W-11 Shift-2A"}),
    [](const testing::TestParamInfo<ScanCodeWalk>& info) { return std::string(info.param.name); });

}  // namespace
