// The client's top-level windows carry the product title, whatever the
// client calls them.
#include "title/title_enforcer.h"

#include <gtest/gtest.h>

#include "common/launcher_state.h"
#include "common/product_title.h"
#include "desktop.h"
#include "player.h"

namespace {

constexpr DWORD kClient = 4242;
constexpr DWORD kOther = 777;
const std::wstring kTitle = ProductTitle;

class Titles : public testing::Test {
 protected:
  void SetUp() override {
    player::ResetLauncher();
    clientProcessId = kClient;
    SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, TitleEventProc, kClient, 0, WINEVENT_OUTOFCONTEXT);
    SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, TitleEventProc, kClient, 0,
                    WINEVENT_OUTOFCONTEXT);
  }

  static int Passes() {
    int passes = 0;
    for (const std::string& call : standin::Calls()) passes += call == "EnumWindows";
    return passes;
  }
};

TEST_F(Titles, ClientRenamingItsWindowIsPutBackAtOnce) {
  HWND window = standin::AddWindow(kClient, L"Client");
  standin::RetitleFromOwner(window, L"Client 2");
  EXPECT_EQ(standin::TitleOf(window), kTitle);
}

TEST_F(Titles, ShowingAWindowTitlesIt) {
  HWND window = standin::AddWindow(kClient, L"Loading", false);
  EXPECT_EQ(standin::TitleOf(window), L"Loading");
  standin::SetVisible(window, true);
  EXPECT_EQ(standin::TitleOf(window), kTitle);
}

TEST_F(Titles, HiddenWindowIsSkippedByThePassButNotByRenameEvents) {
  HWND window = standin::AddWindow(kClient, L"Hidden", false);
  EnumWindows(TitleEnumProc, 0);
  EXPECT_EQ(standin::TitleOf(window), L"Hidden");
  EXPECT_EQ(titleApplied.load(), 0);
  standin::RetitleFromOwner(window, L"Still hidden");
  EXPECT_EQ(standin::TitleOf(window), kTitle);
}

TEST_F(Titles, ChildWindowsKeepTheirNames) {
  HWND main = standin::AddWindow(kClient, L"Client");
  HWND child = standin::AddWindow(kClient, L"Map", true, main);
  EnumWindows(TitleEnumProc, 0);
  standin::RetitleFromOwner(child, L"Map 2");
  TitleEventProc(nullptr, EVENT_OBJECT_SHOW, child, OBJID_WINDOW, CHILDID_SELF, 0, 0);
  EXPECT_EQ(standin::TitleOf(child), L"Map 2");
  EXPECT_EQ(standin::TitleSets(child), 0);
}

TEST_F(Titles, EveryVisibleTopLevelClientWindowIsTitledInOnePass) {
  HWND main = standin::AddWindow(kClient, L"Client");
  HWND popup = standin::AddWindow(kClient, L"Inventory", true, nullptr, main);
  HWND dialog = standin::AddWindow(kClient, L"Options", true, nullptr, main);
  HWND stranger = standin::AddWindow(kOther, L"Notes");
  EnumWindows(TitleEnumProc, 0);
  for (HWND window : {main, popup, dialog}) EXPECT_EQ(standin::TitleOf(window), kTitle);
  EXPECT_EQ(standin::TitleOf(stranger), L"Notes");
  EXPECT_EQ(titleApplied.load(), 1);
}

TEST_F(Titles, EventsLeaveOtherProcessesAlone) {
  HWND stranger = standin::AddWindow(kOther, L"Notes");
  TitleEventProc(nullptr, EVENT_OBJECT_NAMECHANGE, stranger, OBJID_WINDOW, CHILDID_SELF, 0, 0);
  TitleEventProc(nullptr, EVENT_OBJECT_NAMECHANGE, nullptr, OBJID_WINDOW, CHILDID_SELF, 0, 0);
  EXPECT_EQ(standin::TitleSets(stranger), 0);
}

TEST_F(Titles, EventSetsTheTitleOnlyWhenItDiffers) {
  HWND window = standin::AddWindow(kClient, kTitle);
  TitleEventProc(nullptr, EVENT_OBJECT_SHOW, window, OBJID_WINDOW, CHILDID_SELF, 0, 0);
  EXPECT_EQ(standin::TitleSets(window), 0);
  standin::RetitleFromOwner(window, L"varnel official client");  // case counts
  EXPECT_EQ(standin::TitleOf(window), kTitle);
  EXPECT_EQ(standin::TitleSets(window), 1);
}

TEST_F(Titles, LongTitleStartingWithTheProductTitleIsReplaced) {
  HWND window = standin::AddWindow(kClient, kTitle + std::wstring(400, L'!'));
  TitleEventProc(nullptr, EVENT_OBJECT_NAMECHANGE, window, OBJID_WINDOW, CHILDID_SELF, 0, 0);
  EXPECT_EQ(standin::TitleOf(window), kTitle);
}

TEST_F(Titles, WindowComingAndGoingRestartsTheCount) {
  HWND window = standin::AddWindow(kClient, L"Splash", false);
  int sleeps = 0;
  // Hidden for 5 passes, shown for 10, hidden for 1, then shown for good.
  standin::OnSleep([&] {
    ++sleeps;
    if (sleeps == 5 || sleeps == 16) standin::SetVisible(window, true);
    if (sleeps == 15) standin::SetVisible(window, false);
  });
  TitleEnforcerThread(nullptr);
  EXPECT_EQ(Passes(), 5 + 10 + 1 + 30);
}

TEST_F(Titles, ThreadEndsWhereTheStableAndPassLimitsMeet) {
  constexpr int kNever = -1;
  struct Row {
    int shownAfterSleeps;  // 0: from the start
    int passes;
  };
  // Shown after sleep k, the window is stable from pass k + 1 and settles at
  // pass k + 30, unless the 300-pass limit comes first.
  const Row rows[] = {{0, 30}, {kNever, 300}, {250, 280}, {269, 299}, {270, 300}, {271, 300}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "shown after sleep " << row.shownAfterSleeps);
    SetUp();
    HWND window = standin::AddWindow(kClient, L"Client", row.shownAfterSleeps == 0);
    int sleeps = 0;
    standin::OnSleep([&] {
      if (++sleeps == row.shownAfterSleeps) standin::SetVisible(window, true);
    });
    EXPECT_EQ(TitleEnforcerThread(nullptr), 0u);
    EXPECT_EQ(Passes(), row.passes);
    EXPECT_EQ(standin::Clock(), static_cast<DWORD>(row.passes) * 100u);  // every pass sleeps, the last too
    // The show event, then every pass after it.
    int titleSets = row.shownAfterSleeps == kNever ? 0 : 1 + row.passes - row.shownAfterSleeps;
    EXPECT_EQ(standin::TitleSets(window), titleSets);
  }
}

}  // namespace
