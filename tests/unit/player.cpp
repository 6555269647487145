#include "player.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/launcher_state.h"
#include "walking/keyboard_hook.h"

namespace player {
namespace {
HWND client = nullptr;
HWND other = nullptr;
}  // namespace

void SetUpDesktop() {
  standin::Reset();
  smartWalkingEnabled = true;
  clientProcessId = kClientProcess;
  sentKey = lastPressedKey = 0;
  heldW = heldA = heldS = heldD = 0;
  client = standin::AddWindow(kClientProcess, L"Client");
  other = standin::AddWindow(kOtherProcess, L"Notes");
  standin::SetForeground(client);
  keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, nullptr, 0);
}

HWND ClientWindow() { return client; }
HWND OtherWindow() { return other; }

BYTE KeyCode(const std::string& name) {
  if (name.size() == 1) return static_cast<BYTE>(name[0]);
  if (name == "Ctrl") return VK_LCONTROL;
  if (name == "RCtrl") return VK_RCONTROL;
  if (name == "Shift") return VK_LSHIFT;
  if (name == "RShift") return VK_RSHIFT;
  if (name == "Alt") return VK_LMENU;
  if (name == "RAlt") return VK_RMENU;
  if (name == "Up") return 0x26;
  if (name == "Space") return 0x20;
  ADD_FAILURE() << "unknown key " << name;
  return 0;
}

void Play(const std::string& script) {
  std::istringstream words(script);
  std::string word;
  while (words >> word) {
    if (word == "@client") {
      standin::SetForeground(client);
    } else if (word == "@other") {
      standin::SetForeground(other);
    } else if (word == "@none") {
      standin::SetForeground(nullptr);
    } else {
      BYTE vk = KeyCode(word.substr(0, word.size() - 1));
      switch (word.back()) {
        case '+':
          standin::Press(vk);
          break;
        case '-':
          standin::Release(vk);
          break;
        case '*':
          standin::Repeat(vk);
          break;
        default:
          ADD_FAILURE() << "bad step " << word;
      }
    }
  }
}

}  // namespace player
