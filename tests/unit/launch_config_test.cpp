// Where the launcher looks for the client and its settings, from the path of
// its own executable.
#include "app/launch_config.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "common/diagnostics_log.h"
#include "common/launcher_state.h"
#include "desktop.h"
#include "player.h"
#include "walking/chat_mode.h"
#include "walking/injected_key.h"
#include "walking/pause_key.h"

namespace {

struct Install {
  const wchar_t* modulePath;
  const wchar_t* base;
  const wchar_t* client;
  const wchar_t* ini;
  const wchar_t* workingDirectory;
};

void PrintTo(const Install& install, std::ostream* out) {
  *out << '"' << std::string(install.modulePath, install.modulePath + std::wcslen(install.modulePath)) << '"';
}

class LaunchPathsFromModule : public testing::TestWithParam<Install> {
 protected:
  void SetUp() override { player::ResetLauncher(); }
};

TEST_P(LaunchPathsFromModule, DerivesEveryPath) {
  const Install& install = GetParam();
  standin::SetModulePath(install.modulePath);
  LaunchPaths paths = BuildLaunchPaths(ResolveBaseDirectory());
  EXPECT_EQ(paths.baseDirectory, install.base);
  EXPECT_EQ(paths.clientExecutable, install.client);
  EXPECT_EQ(paths.iniFile, install.ini);
  EXPECT_EQ(paths.workingDirectory, install.workingDirectory);
  EXPECT_EQ(paths.logFile, std::wstring(install.base) + L"\\VarnelOfficial.log");
  EXPECT_EQ(paths.commandLine, L"\"" + std::wstring(install.client) + L"\"");
}

INSTANTIATE_TEST_SUITE_P(
    Installs, LaunchPathsFromModule,
    testing::Values(Install{L"C:\\Games\\L.exe", L"C:\\Games", L"C:\\Games\\bin\\client.exe",
                            L"C:\\Games\\VarnelOfficial.ini", L"C:\\Games\\bin"},
                    Install{L"C:\\L.exe", L"C:", L"C:\\bin\\client.exe", L"C:\\VarnelOfficial.ini", L"C:\\bin"},
                    Install{L"C:/Games/L.exe", L"C:/Games", L"C:/Games\\bin\\client.exe",
                            L"C:/Games\\VarnelOfficial.ini", L"C:/Games\\bin"},
                    Install{L"L.exe", L".", L".\\bin\\client.exe", L".\\VarnelOfficial.ini", L".\\bin"},
                    Install{L"", L".", L".\\bin\\client.exe", L".\\VarnelOfficial.ini", L".\\bin"},
                    Install{L"\\L.exe", L"", L"\\bin\\client.exe", L"\\VarnelOfficial.ini", L"\\bin"},
                    Install{L"D:\\Jogos\\Varnel Online\\Varnel Official Client.exe", L"D:\\Jogos\\Varnel Online",
                            L"D:\\Jogos\\Varnel Online\\bin\\client.exe",
                            L"D:\\Jogos\\Varnel Online\\VarnelOfficial.ini", L"D:\\Jogos\\Varnel Online\\bin"}));

TEST(LaunchPathsEdges, UnreadableModulePathGivesTheCurrentDirectory) {
  player::ResetLauncher();
  standin::FailModulePath();
  EXPECT_EQ(ResolveBaseDirectory(), L".");
}

// A folder deeper than the classic 260-unit limit: the path must be read
// whole, or the launcher would start a bin\client.exe from a parent folder.
class LongModulePath : public testing::TestWithParam<bool> {};

TEST_P(LongModulePath, IsReadWhole) {
  const bool wineStyle = GetParam();
  for (std::size_t depth : {258u, 259u, 260u, 261u, 600u, 5000u, 32766u}) {
    player::ResetLauncher();
    std::wstring folder = L"C:\\" + std::wstring(depth - 9, L'd');
    std::wstring module = folder + L"\\L.exe";
    standin::SetModulePath(module, wineStyle);
    EXPECT_EQ(ResolveBaseDirectory(), folder) << "module path of " << module.size() << " units";
  }
}

TEST_P(LongModulePath, BeyondThePlatformLimitGivesTheCurrentDirectory) {
  player::ResetLauncher();
  standin::SetModulePath(L"C:\\" + std::wstring(40000, L'd') + L"\\L.exe", GetParam());
  EXPECT_EQ(ResolveBaseDirectory(), L".");
}

INSTANTIATE_TEST_SUITE_P(CutAs, LongModulePath, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Wine" : "Windows"; });

struct Setting {
  const char* name;
  std::optional<std::string> fileText;  // none: no file at all
  bool enabled;
};

// The text saved as UTF-16 with a byte-order mark, as Notepad may save it.
std::string Utf16(const std::string& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : text) bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  return bytes;
}

void PrintTo(const Setting& setting, std::ostream* out) { *out << setting.name; }

class SmartWalkingSetting : public testing::TestWithParam<Setting> {};

TEST_P(SmartWalkingSetting, ReadsEnabled) {
  const Setting& setting = GetParam();
  std::string path = testing::TempDir() + "VarnelOfficial-" + setting.name + ".ini";
  std::remove(path.c_str());
  if (setting.fileText) std::ofstream(path, std::ios::binary) << *setting.fileText;
  smartWalkingEnabled = !setting.enabled;
  ReadSmartWalkingSetting(std::wstring(path.begin(), path.end()));
  EXPECT_EQ(smartWalkingEnabled, setting.enabled);
}

// Each row as GetPrivateProfileIntW reads it under Wine; tests/e2e/test_odd_input.py
// holds the launcher to the real reader with rows of the same kinds.
INSTANTIATE_TEST_SUITE_P(
    Files, SmartWalkingSetting,
    testing::Values(Setting{"Zero", "[SmartWalking]\r\nEnabled=0\r\n", false},
                    Setting{"One", "[SmartWalking]\r\nEnabled=1\r\n", true},
                    Setting{"Seven", "[SmartWalking]\r\nEnabled=7\r\n", true},
                    Setting{"Negative", "[SmartWalking]\r\nEnabled=-5\r\n", true},
                    Setting{"HexSixteen", "[SmartWalking]\r\nEnabled=0x10\r\n", true},
                    Setting{"HexPrefixInCapitals", "[SmartWalking]\r\nEnabled=0X10\r\n", false},
                    Setting{"QuotedOne", "[SmartWalking]\r\nEnabled=\"1\"\r\n", true},
                    Setting{"NotANumber", "[SmartWalking]\r\nEnabled=yes\r\n", false},
                    Setting{"EmptyValue", "[SmartWalking]\r\nEnabled=\r\n", true},
                    Setting{"NoKey", "[SmartWalking]\r\nSpeed=0\r\n", true},
                    Setting{"NoSection", "[Video]\r\nEnabled=0\r\n", true}, Setting{"NoFile", std::nullopt, true},
                    Setting{"OtherSectionFirst", "[Video]\nEnabled=1\n[SmartWalking]\nEnabled=0\n", false},
                    Setting{"NamesIgnoreCaseAndSpaces", "[smartwalking]\n  ENABLED  =  0  \n", false},
                    Setting{"Utf16WithByteOrderMark", Utf16("[SmartWalking]\r\nEnabled=0\r\n", false), false},
                    Setting{"Utf16BigEndianWithByteOrderMark", Utf16("[SmartWalking]\r\nEnabled=0\r\n", true), false}),
    [](const testing::TestParamInfo<Setting>& info) { return std::string(info.param.name); });

struct Switch {
  const char* name;
  const char* value;  // nullptr: no such key
  bool on;
};

void PrintTo(const Switch& value, std::ostream* out) { *out << value.name; }

class SwitchesOffByDefault : public testing::TestWithParam<Switch> {
 protected:
  void SetUp() override { player::ResetLauncher(); }

  // The settings file with `key` given the row's value, under `section`.
  std::wstring Settings(const std::string& section, const std::string& key) {
    std::string path = testing::TempDir() + "VarnelOfficial-" + key + "-" + GetParam().name + ".ini";
    std::ofstream file(path, std::ios::binary);
    file << "[" << section << "]\r\n";
    if (GetParam().value) file << key << "=" << GetParam().value << "\r\n";
    return std::wstring(path.begin(), path.end());
  }
};

// Scan codes in injected keys and the diagnostics log: "0", no key and text
// that is no number mean off; any other number means on, as for Enabled.
TEST_P(SwitchesOffByDefault, ReadAsTheOtherSettings) {
  ReadScanCodesSetting(Settings("SmartWalking", "ScanCodes"));
  EXPECT_EQ(injectScanCodes, GetParam().on);
  LaunchPaths paths = BuildLaunchPaths(L"C:\\Games");
  paths.iniFile = Settings("Diagnostics", "Log");
  ReadDiagnosticsSetting(paths);
  EXPECT_EQ(diagnosticsLogging, GetParam().on);
}

INSTANTIATE_TEST_SUITE_P(Values, SwitchesOffByDefault,
                         testing::Values(Switch{"One", "1", true}, Switch{"Zero", "0", false},
                                         Switch{"NoKey", nullptr, false}, Switch{"Empty", "", false},
                                         Switch{"Text", "yes", false}, Switch{"Negative", "-1", true},
                                         Switch{"Huge", "99999999999", true}, Switch{"Seven", "7", true}),
                         [](const testing::TestParamInfo<Switch>& info) { return std::string(info.param.name); });

// A settings file holding `text` (nullptr: no file at all), named after the row.
std::wstring SettingsFile(const std::string& row, const char* text) {
  std::string path = testing::TempDir() + "VarnelOfficial-" + row + ".ini";
  std::remove(path.c_str());
  if (text) std::ofstream(path, std::ios::binary) << text;
  return std::wstring(path.begin(), path.end());
}

struct PauseKeyValue {
  const char* name;
  const char* fileText;  // nullptr: no file at all
  BYTE pauseKey;         // 0: none
};

void PrintTo(const PauseKeyValue& value, std::ostream* out) { *out << value.name; }

class PauseKeySetting : public testing::TestWithParam<PauseKeyValue> {};

TEST_P(PauseKeySetting, ReadsPauseKey) {
  const PauseKeyValue& value = GetParam();
  pauseKey = 0x42;
  walkingPaused = false;
  ReadPauseKeySetting(SettingsFile(std::string("pause-") + value.name, value.fileText));
  EXPECT_EQ(pauseKey, value.pauseKey);
  EXPECT_FALSE(walkingPaused);  // every start begins walking
}

INSTANTIATE_TEST_SUITE_P(Files, PauseKeySetting,
                         testing::Values(PauseKeyValue{"NoFile", nullptr, VK_SCROLL},
                                         PauseKeyValue{"Missing", "[SmartWalking]\r\nEnabled=1\r\n", VK_SCROLL},
                                         PauseKeyValue{"Empty", "[SmartWalking]\r\nPauseKey=\r\n", VK_SCROLL},
                                         PauseKeyValue{"Zero", "[SmartWalking]\r\nPauseKey=0\r\n", 0},
                                         PauseKeyValue{"ScrollLock", "[SmartWalking]\r\nPauseKey=145\r\n", VK_SCROLL},
                                         PauseKeyValue{"Pause", "[SmartWalking]\r\nPauseKey=19\r\n", VK_PAUSE},
                                         PauseKeyValue{"Lowest", "[SmartWalking]\r\nPauseKey=1\r\n", 1},
                                         PauseKeyValue{"Highest", "[SmartWalking]\r\nPauseKey=254\r\n", 254},
                                         PauseKeyValue{"WalkingOffStillReads",
                                                       "[SmartWalking]\r\nEnabled=0\r\nPauseKey=19\r\n", VK_PAUSE},
                                         // never a key the walker watches
                                         PauseKeyValue{"W", "[SmartWalking]\r\nPauseKey=87\r\n", 0},
                                         PauseKeyValue{"A", "[SmartWalking]\r\nPauseKey=65\r\n", 0},
                                         PauseKeyValue{"S", "[SmartWalking]\r\nPauseKey=83\r\n", 0},
                                         PauseKeyValue{"D", "[SmartWalking]\r\nPauseKey=68\r\n", 0},
                                         PauseKeyValue{"Shift", "[SmartWalking]\r\nPauseKey=16\r\n", 0},
                                         PauseKeyValue{"Ctrl", "[SmartWalking]\r\nPauseKey=17\r\n", 0},
                                         PauseKeyValue{"Alt", "[SmartWalking]\r\nPauseKey=18\r\n", 0},
                                         PauseKeyValue{"LeftShift", "[SmartWalking]\r\nPauseKey=160\r\n", 0},
                                         PauseKeyValue{"RightAlt", "[SmartWalking]\r\nPauseKey=165\r\n", 0},
                                         PauseKeyValue{"LeftWindows", "[SmartWalking]\r\nPauseKey=91\r\n", 0},
                                         PauseKeyValue{"RightWindows", "[SmartWalking]\r\nPauseKey=92\r\n", 0},
                                         PauseKeyValue{"Applications", "[SmartWalking]\r\nPauseKey=93\r\n", 93},
                                         PauseKeyValue{"AfterTheModifiers", "[SmartWalking]\r\nPauseKey=166\r\n", 166},
                                         PauseKeyValue{"BeforeTheModifiers", "[SmartWalking]\r\nPauseKey=159\r\n", 159},
                                         // outside 1 to 254, or no number
                                         PauseKeyValue{"255", "[SmartWalking]\r\nPauseKey=255\r\n", 0},
                                         PauseKeyValue{"256", "[SmartWalking]\r\nPauseKey=256\r\n", 0},
                                         PauseKeyValue{"401", "[SmartWalking]\r\nPauseKey=401\r\n", 0},
                                         PauseKeyValue{"MinusOne", "[SmartWalking]\r\nPauseKey=-1\r\n", 0},
                                         PauseKeyValue{"Text", "[SmartWalking]\r\nPauseKey=ScrollLock\r\n", 0},
                                         PauseKeyValue{"OtherSection", "[Video]\r\nPauseKey=0\r\n", VK_SCROLL}),
                         [](const testing::TestParamInfo<PauseKeyValue>& info) {
                           return std::string(info.param.name[0] == '-' || std::isdigit(info.param.name[0]) ? "Value"
                                                                                                            : "") +
                                  info.param.name;
                         });

struct ChatModeValue {
  const char* name;
  const char* fileText;  // nullptr: no file at all
  bool on;
};

void PrintTo(const ChatModeValue& value, std::ostream* out) { *out << value.name; }

class ChatModeSetting : public testing::TestWithParam<ChatModeValue> {};

TEST_P(ChatModeSetting, ReadsChatMode) {
  const ChatModeValue& value = GetParam();
  chatMode = !value.on;
  ReadChatModeSetting(SettingsFile(std::string("chat-") + value.name, value.fileText));
  EXPECT_EQ(chatMode, value.on);
}

// As Enabled reads: 0, nothing and text that is no number are off, any other number on.
INSTANTIATE_TEST_SUITE_P(
    Files, ChatModeSetting,
    testing::Values(ChatModeValue{"NoFile", nullptr, false},
                    ChatModeValue{"Missing", "[SmartWalking]\r\nPauseKey=19\r\n", false},
                    ChatModeValue{"Empty", "[SmartWalking]\r\nChatMode=\r\n", false},
                    ChatModeValue{"Zero", "[SmartWalking]\r\nChatMode=0\r\n", false},
                    ChatModeValue{"One", "[SmartWalking]\r\nChatMode=1\r\n", true},
                    ChatModeValue{"Seven", "[SmartWalking]\r\nChatMode=7\r\n", true},
                    ChatModeValue{"Negative", "[SmartWalking]\r\nChatMode=-1\r\n", true},
                    ChatModeValue{"Huge", "[SmartWalking]\r\nChatMode=99999999999\r\n", true},
                    ChatModeValue{"Text", "[SmartWalking]\r\nChatMode=sim\r\n", false},
                    ChatModeValue{"OtherSection", "[Chat]\r\nChatMode=1\r\n", false},
                    ChatModeValue{"WalkingOffStillReads", "[SmartWalking]\r\nEnabled=0\r\nChatMode=1\r\n", true}),
    [](const testing::TestParamInfo<ChatModeValue>& info) { return std::string(info.param.name); });

// The VarnelOfficial.ini shipped to players lists each setting at the value
// the launcher takes with no file at all.
TEST(ShippedSettings, ReadAsTheDefaults) {
  struct Read {
    bool enabled;
    BYTE pauseKey;
    bool chatMode;
    bool scanCodes;
    bool log;
    bool operator==(const Read& other) const {
      return enabled == other.enabled && pauseKey == other.pauseKey && chatMode == other.chatMode &&
             scanCodes == other.scanCodes && log == other.log;
    }
  };
  auto read = [](const std::wstring& file) {
    player::ResetLauncher();
    smartWalkingEnabled = false;
    pauseKey = 0x42;
    chatMode = injectScanCodes = diagnosticsLogging = true;
    ReadSmartWalkingSetting(file);
    ReadPauseKeySetting(file);
    ReadChatModeSetting(file);
    ReadScanCodesSetting(file);
    LaunchPaths paths = BuildLaunchPaths(L"C:\\Games");
    paths.iniFile = file;
    ReadDiagnosticsSetting(paths);
    return Read{smartWalkingEnabled, pauseKey, chatMode, injectScanCodes, diagnosticsLogging};
  };
  const std::string shipped = SHIPPED_INI;
  const Read fromShipped = read(std::wstring(shipped.begin(), shipped.end()));
  const Read withoutFile = read(L"no-such-folder\\VarnelOfficial.ini");
  EXPECT_TRUE(fromShipped == withoutFile)
      << "shipped: Enabled " << fromShipped.enabled << ", PauseKey " << int{fromShipped.pauseKey} << ", ChatMode "
      << fromShipped.chatMode << ", ScanCodes " << fromShipped.scanCodes << ", Log " << fromShipped.log;
}

}  // namespace
