// The launcher's life from start to exit, on the stand-in desktop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/launcher_state.h"
#include "common/message_pump.h"
#include "desktop.h"
#include "player.h"
#include "title/title_enforcer.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int);

namespace {

using Calls = std::vector<std::string>;

const std::string kCaption = "Varnel Official Client";
const std::string kClientStartFailed = "N\xC3\xA3o foi poss\xC3\xADvel iniciar bin\\client.exe.";
const std::string kRunBothAsAdministrator =
    "Execute tamb\xC3\xA9m este programa como administrador, ou desmarque \"Executar como administrador\" nas "
    "propriedades de bin\\client.exe.";
const std::string kWalkingFailed = "N\xC3\xA3o foi poss\xC3\xADvel ativar o Zadev Uzuzize.";

class Launcher : public testing::Test {
 protected:
  void SetUp() override {
    player::ResetLauncher();
    folder = testing::TempDir() + "launcher-" + testing::UnitTest::GetInstance()->current_test_info()->name();
    std::remove((folder + "/VarnelOfficial.ini").c_str());
    std::string module = folder + "/Varnel Official Client.exe";
    standin::SetModulePath(std::wstring(module.begin(), module.end()));
  }

  void WriteSettings(const std::string& text) {
    std::string mkdir = "mkdir -p '" + folder + "'";
    ASSERT_EQ(std::system(mkdir.c_str()), 0);
    std::ofstream(folder + "/VarnelOfficial.ini") << text;
  }

  int Run() { return wWinMain(standin::LauncherModule(), nullptr, nullptr, 0); }

  std::string folder;
};

// Windows may slow a windowless background program down; the launcher asks not to be.
const std::string kNotThrottled = "SetProcessInformation(throttling,1,0x1,0x0)";
// The message-only window the walk's keys are sent from.
const Calls kSenderStart = {"RegisterClassExW", "CreateWindowExW(HWND_MESSAGE)"};
const Calls kSenderStop = {"DestroyWindow", "UnregisterClassW"};
// The hook's witness: raw keyboard input to a message-only window.
const Calls kWitnessStart = {"RegisterClassExW", "CreateWindowExW(HWND_MESSAGE)", "RegisterRawInputDevices(0x100)"};
const Calls kWitnessStop = {"RegisterRawInputDevices(0x1)", "DestroyWindow", "UnregisterClassW"};

Calls Join(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const Calls kStart = Join({{kNotThrottled, "CreateProcessW", "CloseHandle(thread)", "SetWindowsHookExW(13,0)"},
                           kWitnessStart,
                           {"SetWinEventHook(0x8002)", "SetWinEventHook(0x800C)", "WaitForInputIdle(30000)"},
                           kSenderStart,
                           {"EnumWindows", "CreateThread", "CloseHandle(thread)"}});
const Calls kTearDown = Join({kSenderStop,
                              {"UnhookWinEvent(0x800C)", "UnhookWinEvent(0x8002)", "UnhookWindowsHookEx"},
                              kWitnessStop,
                              {"CloseHandle(process)"}});

void Erase(Calls& calls, const Calls& unwanted) {
  for (const std::string& call : unwanted) calls.erase(std::find(calls.begin(), calls.end(), call));
}

TEST_F(Launcher, StartsTheClientFromItsOwnFolder) {
  standin::OnWait(standin::ExitClient);
  ASSERT_EQ(Run(), 0);
  ASSERT_EQ(standin::ProcessStarts().size(), 1u);
  const standin::ProcessStart& start = standin::ProcessStarts()[0];
  std::wstring base(folder.begin(), folder.end());
  EXPECT_EQ(start.applicationName, base + L"\\bin\\client.exe");
  EXPECT_EQ(start.commandLine, L"\"" + base + L"\\bin\\client.exe\"");
  EXPECT_EQ(start.currentDirectory, base + L"\\bin");
  EXPECT_FALSE(start.inheritHandles);
  EXPECT_EQ(start.creationFlags, 0u);
  EXPECT_TRUE(start.defaultEnvironment);
  EXPECT_TRUE(start.noSecurityAttributes);
  EXPECT_EQ(start.startupInfoSize, sizeof(STARTUPINFOW));
  EXPECT_TRUE(start.startupInfoOtherwiseZero);
}

TEST_F(Launcher, HooksEverythingInOrderBeforeWaitingAndUndoesItInReverse) {
  standin::OnWait(standin::ExitClient);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(standin::Calls(), Join({kStart, {"MsgWaitForMultipleObjects"}, kTearDown}));
  // A global hook belongs to the module that holds its procedure: the launcher's own.
  EXPECT_EQ(standin::KeyboardHookModule(), standin::LauncherModule());

  // Both event hooks watch only the client, out of context.
  ASSERT_EQ(standin::WinEventHooks().size(), 2u);
  for (const standin::WinEventHookRecord& hook : standin::WinEventHooks()) {
    EXPECT_EQ(hook.eventMin, hook.eventMax);
    EXPECT_EQ(hook.proc, TitleEventProc);
    EXPECT_EQ(hook.processId, standin::ClientProcessId());
    EXPECT_EQ(hook.threadId, 0u);
    EXPECT_EQ(hook.flags, WINEVENT_OUTOFCONTEXT);
    EXPECT_EQ(hook.module, nullptr);
    EXPECT_TRUE(hook.removed);
  }
  ASSERT_EQ(standin::ThreadsStarted().size(), 1u);
  EXPECT_EQ(standin::ThreadsStarted()[0].start, TitleEnforcerThread);
  EXPECT_EQ(standin::ThreadsStarted()[0].parameter, nullptr);
  EXPECT_EQ(clientProcessId, standin::ClientProcessId());
  EXPECT_FALSE(standin::KeyboardHookInstalled());
  EXPECT_EQ(standin::OpenHandles(), 0);
}

struct WayOut {
  const char* name;
  std::function<void()> during;
};

class WaysOut : public Launcher, public testing::WithParamInterface<WayOut> {};

TEST_P(WaysOut, TearDownInOrderAndExitZero) {
  HWND window = standin::AddWindow(standin::ClientProcessId(), L"Client");
  standin::SetForeground(window);
  standin::OnWait([] {
    // The player walks up-left when the run ends.
    standin::Press('W');
    standin::Press('A');
  });
  standin::OnWait(GetParam().during);

  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(standin::Stream(window), "W+ W- Q+ Q-");
  Calls calls = standin::Calls();
  ASSERT_GE(calls.size(), kTearDown.size());
  EXPECT_EQ(Calls(calls.end() - static_cast<long>(kTearDown.size()), calls.end()), kTearDown);
  EXPECT_FALSE(standin::ClientTerminated());  // a quit message leaves the client running
  EXPECT_EQ(standin::OpenHandles(), 0);
  EXPECT_FALSE(standin::RawInputRegistered());
  EXPECT_EQ(standin::MessageOnlyWindows(), 0);
  EXPECT_EQ(standin::TimersArmed(), 0);
}

INSTANTIATE_TEST_SUITE_P(Exits, WaysOut,
                         testing::Values(WayOut{"ClientExits", standin::ExitClient},
                                         WayOut{"QuitMessage", [] { standin::PostToLauncher(WM_QUIT); }},
                                         WayOut{"WaitFails", standin::FailNextWait}),
                         [](const testing::TestParamInfo<WayOut>& info) { return std::string(info.param.name); });

struct Posts {
  const char* name;
  std::vector<std::vector<UINT>> waits;  // what is posted during each wait, in order
  std::vector<UINT> dispatched;
};

void PrintTo(const Posts& posts, std::ostream* out) { *out << posts.name; }

class Pumping : public Launcher, public testing::WithParamInterface<Posts> {};

// The launcher pumps until the client exits (after the posts) or a quit message arrives.
TEST_P(Pumping, DispatchesWhatWasPostedUntilTheEnd) {
  for (const std::vector<UINT>& posts : GetParam().waits)
    standin::OnWait([posts] {
      for (UINT message : posts) standin::PostToLauncher(message);
    });
  standin::OnWait(standin::ExitClient);
  EXPECT_EQ(Run(), 0);
  std::vector<UINT> dispatched;
  for (const MSG& message : standin::Dispatched()) dispatched.push_back(message.message);
  EXPECT_EQ(dispatched, GetParam().dispatched);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, Pumping,
    testing::Values(Posts{"OnePerWait", {{0x0400}, {0x0401}, {0x0402}}, {0x0400, 0x0401, 0x0402}},
                    // Once the queue has been looked at, the wait no longer wakes for what was left in it.
                    Posts{"AllInOneWait", {{0x0400, 0x0401, 0x0402}}, {0x0400, 0x0401, 0x0402}},
                    Posts{"UntilTheQuitMessageAndNoFurther", {{0x0400, WM_QUIT, 0x0401}}, {0x0400}}),
    [](const testing::TestParamInfo<Posts>& info) { return std::string(info.param.name); });

class Wakes : public Launcher, public testing::WithParamInterface<const char*> {};

// With the diagnostics log on too: it is written when the launcher wakes anyway.
TEST_P(Wakes, TypingWakesItOnceAGracePeriodNotOnceAKey) {
  WriteSettings(GetParam());
  HWND window = standin::AddWindow(standin::ClientProcessId(), L"Client");
  standin::SetForeground(window);
  auto typing = [](std::function<void()> keys) {
    standin::OnWait([keys] {
      standin::AdvanceClock(20);
      keys();
    });
  };
  // A chat line: walking keys would wake it to send the walk's keys as well.
  typing([] { standin::Press('X'); });
  typing([] { standin::Press('Y'); });
  typing([] { standin::Release('Y'); });
  typing([] { standin::Release('X'); });
  // Two quiet spells: the first ends the batch the keys began, the second finds nothing.
  for (int spell = 0; spell < 2; ++spell) standin::OnWait([] { standin::AdvanceClock(300); });
  typing([] {
    standin::Press('Z');
    standin::Release('Z');
  });
  standin::OnWait(standin::ExitClient);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(standin::Stream(window), "x+ y+ y- x- z+ z-");
  // Woken by the first key, each grace period's end, the first key after the
  // quiet and the client's exit.
  EXPECT_EQ(std::count(standin::Calls().begin(), standin::Calls().end(), "MsgWaitForMultipleObjects"), 5);
}

INSTANTIATE_TEST_SUITE_P(Settings, Wakes, testing::Values("", "[Diagnostics]\nLog=1\n"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.index == 0 ? "Default" : "DiagnosticsLog");
                         });

struct StartUpKeys {
  const char* name;
  bool clientInFront;
  const char* client;  // what the client gets
  const char* other;   // what the window in front of it gets
};

void PrintTo(const StartUpKeys& keys, std::ostream* out) { *out << keys.name; }

class KeysDuringStartUp : public Launcher, public testing::WithParamInterface<StartUpKeys> {};

// The hook is in place before the launcher waits for the client to settle, and
// the wait services it: keys typed meanwhile are handled, not held up.
TEST_P(KeysDuringStartUp, GoThroughTheHookWhileTheClientSettles) {
  HWND client = standin::AddWindow(standin::ClientProcessId(), L"Client");
  HWND other = standin::AddWindow(777, L"Notes");
  standin::SetForeground(GetParam().clientInFront ? client : other);
  standin::OnInputIdleWait([] {
    for (BYTE vk : {'W', 'A'}) standin::Press(vk);
    for (BYTE vk : {'W', 'A'}) standin::Release(vk);
  });
  standin::OnWait(standin::ExitClient);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(standin::Stream(client), GetParam().client);
  EXPECT_EQ(standin::Stream(other), GetParam().other);
}

INSTANTIATE_TEST_SUITE_P(InFront, KeysDuringStartUp,
                         testing::Values(StartUpKeys{"Client", true, "W+ W- Q+ Q- A+ A-", ""},
                                         StartUpKeys{"AnotherWindow", false, "", "w+ a+ w- a-"}),
                         [](const testing::TestParamInfo<StartUpKeys>& info) { return std::string(info.param.name); });

struct StartError {
  const char* name;
  DWORD error;  // what CreateProcessW says
  std::string text;
};

void PrintTo(const StartError& error, std::ostream* out) { *out << error.name; }

class ClientStartFails : public Launcher, public testing::WithParamInterface<StartError> {};

TEST_P(ClientStartFails, IsReportedAndNothingElseHappens) {
  standin::FailClientStart(true, GetParam().error);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(standin::Calls(), Calls({kNotThrottled, "CreateProcessW",
                                     "MessageBoxW(null," + GetParam().text + "," + kCaption + ",0x10)"}));
}

// Only a client that asks for administrator rights gets the line on what to do.
INSTANTIATE_TEST_SUITE_P(Errors, ClientStartFails,
                         testing::Values(StartError{"Missing", ERROR_FILE_NOT_FOUND, kClientStartFailed},
                                         StartError{"NotAProgram", ERROR_BAD_EXE_FORMAT, kClientStartFailed},
                                         StartError{"AccessDenied", ERROR_ACCESS_DENIED, kClientStartFailed},
                                         StartError{"ElevationRequired", ERROR_ELEVATION_REQUIRED,
                                                    kClientStartFailed + "\n" + kRunBothAsAdministrator}),
                         [](const testing::TestParamInfo<StartError>& info) { return std::string(info.param.name); });

TEST_F(Launcher, KeyboardHookFailureEndsTheClientAndIsReported) {
  standin::FailKeyboardHook(true);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(standin::Calls(), Calls({kNotThrottled, "CreateProcessW", "CloseHandle(thread)", "SetWindowsHookExW(13,0)",
                                     "TerminateProcess(1)", "CloseHandle(process)",
                                     "MessageBoxW(null," + kWalkingFailed + "," + kCaption + ",0x10)"}));
  UINT exitCode = 0;
  EXPECT_TRUE(standin::ClientTerminated(&exitCode));
  EXPECT_EQ(exitCode, 1u);
  EXPECT_EQ(standin::OpenHandles(), 0);
}

TEST_F(Launcher, WalkingSwitchedOffInstallsNoKeyboardHook) {
  WriteSettings("[SmartWalking]\nEnabled=0\n");
  standin::FailKeyboardHook(true);  // never asked for, so never reported
  standin::OnWait(standin::ExitClient);
  EXPECT_EQ(Run(), 0);
  Calls expected = Join({kStart, {"MsgWaitForMultipleObjects"}, kTearDown});
  // No hook, and so no window, no raw input and no timer to watch it, and no keys to send.
  Erase(expected, Join({{"SetWindowsHookExW(13,0)", "UnhookWindowsHookEx"},
                        kSenderStart,
                        kSenderStop,
                        kWitnessStart,
                        kWitnessStop}));
  EXPECT_EQ(standin::Calls(), expected);
}

TEST_F(Launcher, WalksUnwatchedWhenRawInputIsRefused) {
  HWND window = standin::AddWindow(standin::ClientProcessId(), L"Client");
  standin::SetForeground(window);
  standin::FailRawInput(true);
  standin::OnWait([] {
    standin::Press('W');
    standin::Press('A');
  });
  standin::OnWait(standin::ExitClient);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(standin::Stream(window), "W+ W- Q+ Q-");
  // Woken once to send the walk's keys, once for the client's exit.
  Calls expected = Join({kStart, {"MsgWaitForMultipleObjects", "MsgWaitForMultipleObjects"}, kTearDown});
  // The window that would have witnessed the keys is closed at once.
  expected.erase(std::find(expected.begin(), expected.end(), kWitnessStop[0]), expected.end() - 1);
  expected.insert(std::find(expected.begin(), expected.end(), "SetWinEventHook(0x8002)"),
                  {"DestroyWindow", "UnregisterClassW"});
  EXPECT_EQ(standin::Calls(), expected);
  EXPECT_EQ(standin::MessageOnlyWindows(), 0);
}

TEST_F(Launcher, FailedEventHooksAndTitleThreadAreNotReported) {
  standin::FailWinEventHooks(true);
  standin::FailCreateThread(true);
  standin::OnWait(standin::ExitClient);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(standin::Calls(), Join({{kNotThrottled, "CreateProcessW", "CloseHandle(thread)", "SetWindowsHookExW(13,0)"},
                                    kWitnessStart,
                                    {"SetWinEventHook(0x8002)", "SetWinEventHook(0x800C)", "WaitForInputIdle(30000)"},
                                    kSenderStart,
                                    {"EnumWindows", "CreateThread", "MsgWaitForMultipleObjects"},
                                    kSenderStop,
                                    {"UnhookWindowsHookEx"},
                                    kWitnessStop,
                                    {"CloseHandle(process)"}}));
}

TEST_F(Launcher, RunsAlikeOnAWindowsWithoutThePowerThrottlingCall) {
  standin::LackSetProcessInformation();
  standin::OnWait(standin::ExitClient);
  EXPECT_EQ(Run(), 0);
  Calls expected = Join({kStart, {"MsgWaitForMultipleObjects"}, kTearDown});
  Erase(expected, {kNotThrottled});
  EXPECT_EQ(standin::Calls(), expected);
}

// --- The diagnostics log ---------------------------------------------------------

class DiagnosticsLog : public Launcher {
 protected:
  std::string LogPath() const { return folder + "/VarnelOfficial.log"; }

  void SetUp() override {
    Launcher::SetUp();
    std::remove(LogPath().c_str());
  }

  std::string LogText() const {
    std::ifstream file(LogPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }

  // The log's lines without their time, which each must have.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::istringstream text(LogText());
    const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (.*)\r)");
    for (std::string line; std::getline(text, line);) {
      std::smatch match;
      EXPECT_TRUE(std::regex_match(line, match, stamped)) << line;
      lines.push_back(match.size() > 1 ? match[1].str() : line);
    }
    return lines;
  }

  // A player's game: a walk, the pause key, a switch to another window, a
  // dropped hook and a key-up that went past it.
  void PlayAGame() {
    HWND client = clientWindow = standin::AddWindow(standin::ClientProcessId(), L"Client");
    HWND other = standin::AddWindow(777, L"Notes");
    standin::SetForeground(client);
    auto step = [](std::function<void()> keys) {
      standin::OnWait([keys] {
        standin::AdvanceClock(300);
        keys();
      });
    };
    step([] { Keys({'W', 'A'}, {}); });
    step([other] {
      standin::SetForeground(other);
      Keys({'X'}, {'X', 'W', 'A'});
    });
    step([client] {
      standin::SetForeground(client);
      Keys({VK_PAUSE}, {VK_PAUSE});
    });
    step([] { Keys({'D'}, {'D'}); });
    step([] { Keys({VK_PAUSE}, {VK_PAUSE}); });
    step([] {
      standin::DropKeyboardHook();
      Keys({'S'}, {});
    });
    step([] { Keys({}, {'S'}); });
    step([] { Keys({'W'}, {}); });
    step([] {
      standin::SkipHookForNextKey();
      Keys({}, {'W'});
      // The hook is alive: it sees the next key.
      standin::AdvanceClock(10);
      Keys({'X'}, {'X'});
    });
    step([] {});
    standin::OnWait(standin::ExitClient);
  }

  HWND clientWindow = nullptr;

  static void Keys(std::initializer_list<BYTE> pressed, std::initializer_list<BYTE> released) {
    for (BYTE vk : pressed) standin::Press(vk);
    for (BYTE vk : released) standin::Release(vk);
  }
};

TEST_F(DiagnosticsLog, HoldsWhatTheLauncherDidAndNoKeyTyped) {
  WriteSettings("[SmartWalking]\nPauseKey=19\nScanCodes=1\n[Diagnostics]\nLog=1\n");
  PlayAGame();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(LogLines(), std::vector<std::string>({
                            "launcher " LAUNCHER_VERSION " started",
                            "Windows 10.0.19045",
                            "elevated: no",
                            "setting SmartWalking.Enabled=1",
                            "setting SmartWalking.PauseKey=19",
                            "setting SmartWalking.ScanCodes=1",
                            "setting SmartWalking.ChatMode=0",
                            "client started: process 4242",
                            "keyboard hook installed",
                            "walk released: another window is in front",
                            "walking paused",
                            "walking resumed",
                            "keyboard hook lost: a key went unseen; hooking again",
                            "keyboard hook installed",
                            "walk released: its key-up went past the hook",
                            "exit code 0",
                        }));
  // Recorded inside the hook, written outside it.
  EXPECT_EQ(standin::FileCallsInHook(), 0);
  EXPECT_EQ(standin::OpenHandles(), 0);
}

struct LogFault {
  const char* name;
  DWORD creationError;  // CreateFileW's, 0 for none
  bool writesFail;
};

void PrintTo(const LogFault& fault, std::ostream* out) { *out << fault.name; }

class UnwritableLog : public DiagnosticsLog, public testing::WithParamInterface<LogFault> {};

// The log is for support; a game never suffers from it.
TEST_P(UnwritableLog, ChangesNothingElseAndShowsNoBox) {
  WriteSettings("[SmartWalking]\nPauseKey=19\n[Diagnostics]\nLog=1\n");
  standin::FailFileCreation(GetParam().creationError);
  standin::FailFileWrites(GetParam().writesFail);
  PlayAGame();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(standin::Stream(clientWindow), "W+ W- Q+ pause+ pause- d+ d- pause+ pause- s+ s- W+ w- x+ x- W-");
  Calls calls = standin::Calls();
  calls.erase(std::remove_if(
                  calls.begin(), calls.end(),
                  [](const std::string& call) { return call == "CloseHandle(file)" || call == "CloseHandle(token)"; }),
              calls.end());
  EXPECT_EQ(Calls(calls.begin(), calls.begin() + static_cast<long>(kStart.size())), kStart);
  EXPECT_EQ(Calls(calls.end() - static_cast<long>(kTearDown.size()), calls.end()), kTearDown);
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& call) { return call.rfind("MessageBoxW", 0) == 0; }),
            0);
  EXPECT_EQ(standin::OpenHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, UnwritableLog,
                         testing::Values(LogFault{"FolderRefusesTheFile", ERROR_ACCESS_DENIED, false},
                                         LogFault{"DiskFull", 0, true}),
                         [](const testing::TestParamInfo<LogFault>& info) { return std::string(info.param.name); });

TEST_F(DiagnosticsLog, KeepsTheNewestLinesWithinTheBound) {
  WriteSettings("[Diagnostics]\nLog=1\n");
  {
    // Older games have filled the log past its bound.
    std::ofstream old(LogPath(), std::ios::binary);
    for (int line = 1; line <= 20000; ++line) old << "2026-12-10 20:00:00.000 older game line " << line << "\r\n";
  }
  PlayAGame();
  EXPECT_EQ(Run(), 0);
  std::string text = LogText();
  EXPECT_LE(text.size(), 256u * 1024);
  // The newest half of what was there, from a whole line on, and this game after it.
  EXPECT_GE(text.size(), 120u * 1024);
  EXPECT_EQ(text.rfind("2026-12-10 20:00:00.000 older game line ", 0), 0u);
  EXPECT_NE(text.find("older game line 20000\r\n2026-12-11 08:00:00.000 launcher "), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 14), " exit code 0\r\n");
  LogLines();  // each line whole, with its time
}

TEST_F(DiagnosticsLog, NoFileWithoutTheSetting) {
  for (const char* settings : {"[SmartWalking]\nEnabled=1\n", "[Diagnostics]\nLog=0\n", "[Diagnostics]\nLog=yes\n"}) {
    player::ResetLauncher();
    standin::SetModulePath(std::wstring(folder.begin(), folder.end()) + L"/Varnel Official Client.exe");
    WriteSettings(settings);
    PlayAGame();
    EXPECT_EQ(Run(), 0);
    std::ifstream file(LogPath());
    EXPECT_FALSE(file.good()) << settings;
  }
}

TEST_F(Launcher, FirstTitlePassTitlesWindowsAlreadyOpen) {
  HWND window = standin::AddWindow(standin::ClientProcessId(), L"Client");
  standin::OnWait(standin::ExitClient);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(standin::TitleOf(window), L"Varnel Official Client");
}

}  // namespace
