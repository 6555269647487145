// The player's scripts: "W+ A+ @other W-" played on the desktop.
#include <gtest/gtest.h>

#include <sstream>

#include "player.h"

namespace player {

BYTE KeyCode(const std::string& name) {
  if (name.size() == 1) return static_cast<BYTE>(name[0]);
  if (name == "Ctrl") return VK_LCONTROL;
  if (name == "RCtrl") return VK_RCONTROL;
  if (name == "Shift") return VK_LSHIFT;
  if (name == "RShift") return VK_RSHIFT;
  if (name == "Alt") return VK_LMENU;
  if (name == "RAlt") return VK_RMENU;
  if (name == "Win") return VK_LWIN;
  if (name == "RWin") return VK_RWIN;
  if (name == "Up") return 0x26;
  if (name == "Space") return 0x20;
  if (name == "Scroll") return VK_SCROLL;
  if (name == "Pause") return VK_PAUSE;
  if (name == "Enter") return VK_RETURN;
  if (name == "Esc") return VK_ESCAPE;
  ADD_FAILURE() << "unknown key " << name;
  return 0;
}

HWND WindowNamed(const std::string& name) {
  if (name == "@client") return ClientWindow();
  if (name == "@other") return OtherWindow();
  if (name == "@elevated") return ElevatedWindow();
  if (name == "@ghost") return GhostWindow();
  if (name != "@none") ADD_FAILURE() << "unknown window " << name;
  return nullptr;
}

void Play(const std::string& script, bool pumping) {
  std::istringstream words(script);
  std::string word;
  while (words >> word) {
    if (word == "@secure") {
      standin::SwitchToSecureDesktop(true);
    } else if (word[0] == '@') {
      standin::SwitchToSecureDesktop(false);
      standin::SetForeground(WindowNamed(word));
    } else {
      // "!L-": the key goes where no hook sees it, as on the lock screen.
      if (word[0] == '!') {
        standin::SkipHookForNextKey();
        word.erase(0, 1);
      }
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
    if (pumping) Pump();
  }
}

}  // namespace player
