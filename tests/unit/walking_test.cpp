// What the client sees while the player holds W/A/S/D in it.
#include <gtest/gtest.h>

#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/direction.h"
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
  // The stand-in refuses records with a scan code or extra information.
  ASSERT_EQ(standin::Injected().size(), 3u);
  EXPECT_EQ(standin::SendInputCalls(), 3);
  EXPECT_EQ(standin::Stream(player::ClientWindow()), "W+ W- Q+");
}

}  // namespace
