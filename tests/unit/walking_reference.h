// A reference model of the walking rules, written from the rules rather than
// the code, and the checks every randomized session makes after each event.
// Shared by the randomized model test and the keyboard hook fuzz target.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "desktop.h"

namespace walking_reference {

inline bool IsDirection(BYTE vk) { return vk == 'W' || vk == 'A' || vk == 'S' || vk == 'D'; }

inline bool IsModifier(BYTE vk) {
  return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || (vk >= VK_LSHIFT && vk <= VK_RMENU) || vk == VK_LWIN ||
         vk == VK_RWIN;
}

inline bool IsResolved(BYTE vk) { return IsDirection(vk) || vk == 'Q' || vk == 'E' || vk == 'Z' || vk == 'C'; }

// What the walker should hold.
struct Reference {
  std::set<BYTE> held;
  BYTE last = 0;
  BYTE pauseKey = VK_SCROLL;  // 0: none
  bool pauseKeyDown = false;  // as the player's hand has it
  bool chatMode = false;      // Enter and Esc switch the same pause
  bool enterDown = false;
  bool escapeDown = false;
  bool paused = false;
  bool mustPass = false;  // the last physical event reaches its window

  BYTE Expected() const {
    auto has = [this](BYTE k) { return held.count(k) != 0; };
    char v = 0, h = 0;
    if (has('W') && has('S'))
      v = last == 'S' ? 'S' : 'W';
    else if (has('W'))
      v = 'W';
    else if (has('S'))
      v = 'S';
    if (has('A') && has('D'))
      h = last == 'D' ? 'D' : 'A';
    else if (has('A'))
      h = 'A';
    else if (has('D'))
      h = 'D';
    if (!v) return static_cast<BYTE>(h);
    if (!h) return static_cast<BYTE>(v);
    if (v == 'W') return h == 'A' ? 'Q' : 'E';
    return h == 'A' ? 'Z' : 'C';
  }

  void Stop() {
    held.clear();
    last = 0;
  }

  // A physical event: which ones reach the walker, and which stop it.
  void OnPhysical(BYTE vk, UINT message, bool inClient, bool modifierHeld) {
    const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
    // A key-up of a key the walker does not hold follows its key-down to the window.
    mustPass = !IsDirection(vk) || paused || !inClient || modifierHeld || (up && held.count(vk) == 0);
    if (down && IsModifier(vk)) return Stop();
    if (pauseKey != 0 && vk == pauseKey) return OnPauseKey(down, up, inClient);
    if (chatMode && (vk == VK_RETURN || vk == VK_ESCAPE))
      return OnChatKey(vk == VK_RETURN, down, up, inClient, modifierHeld);
    if (!IsDirection(vk)) {
      if (!inClient) Stop();
      return;
    }
    if (paused) return;
    if (!inClient || modifierHeld) return Stop();
    if (down) {
      held.insert(vk);
      last = vk;
    } else if (up) {
      held.erase(vk);
    }
  }

  // The foreground moved, with no key: once the launcher has looked (a
  // twentieth of a second at most), a walk is over unless the client is
  // still in front.
  void OnForeground(bool inClient) {
    if (!inClient) Stop();
  }

  // A press of the pause key in the client switches, once however long it
  // is held, and either way walking starts again from nothing held.
  void OnPauseKey(bool down, bool up, bool inClient) {
    const bool press = down && !pauseKeyDown;
    if (down) pauseKeyDown = true;
    if (up) pauseKeyDown = false;
    if (!inClient) return Stop();
    if (!press) return;
    Stop();
    paused = !paused;
  }

  // The same for Enter, and for Esc while paused, unless a modifier makes
  // either a shortcut.
  void OnChatKey(bool enter, bool down, bool up, bool inClient, bool modifierHeld) {
    bool& keyDown = enter ? enterDown : escapeDown;
    const bool press = down && !keyDown;
    if (down) keyDown = true;
    if (up) keyDown = false;
    if (!inClient) return Stop();
    if (!press || modifierHeld || (!enter && !paused)) return;
    Stop();
    paused = !paused;
  }
};

// Watches the desktop across one event at a time and lists every rule the
// event broke.
class Watch {
 public:
  explicit Watch(HWND client) : client_(client) {}

  void BeforeEvent(HWND foreground) {
    clientBefore_ = standin::ReceivedBy(client_).size();
    modifierHeld_ = standin::IsKeyDown(VK_CONTROL) || standin::IsKeyDown(VK_MENU) || standin::IsKeyDown(VK_SHIFT) ||
                    standin::IsKeyDown(VK_LWIN) || standin::IsKeyDown(VK_RWIN);
    inClient_ = foreground == client_;
  }

  bool ModifierHeld() const { return modifierHeld_; }
  bool InClient() const { return inClient_; }

  // `physical` is what the player holds once the event is done.
  std::vector<std::string> AfterEvent(HWND foreground, const Reference& model, const std::set<BYTE>& physical) {
    std::vector<std::string> broken;
    const auto& injected = standin::Injected();
    const auto& received = standin::ReceivedBy(client_);
    if (foreground == client_) {
      // Every injected event reaches the client unchanged and in order.
      std::size_t next = injectedSeen_;
      for (std::size_t i = clientBefore_; i < received.size(); ++i) {
        if (!received[i].injected) continue;
        if (next >= injected.size() || injected[next].vk != received[i].vk || injected[next].down != received[i].down)
          broken.push_back("the client got an injected event that was not sent as such");
        ++next;
      }
      if (next != injected.size()) broken.push_back("an injected event did not reach the client");
    }
    for (; injectedSeen_ < injected.size(); ++injectedSeen_) {
      const standin::Delivered& e = injected[injectedSeen_];
      if (!IsResolved(e.vk)) broken.push_back("injected a key outside W/A/S/D/Q/E/Z/C: " + standin::KeyName(e.vk));
      if (e.down)
        injectedDown_.insert(e.vk);
      else
        injectedDown_.erase(e.vk);
    }
    if (injectedDown_.size() > 1) broken.push_back("more than one injected key down");
    const BYTE expected = model.Expected();
    const BYTE actual = injectedDown_.empty() ? 0 : *injectedDown_.begin();
    if (actual != expected)
      broken.push_back("client holds " + standin::KeyName(actual) + ", rules say " + standin::KeyName(expected));

    for (std::size_t i = clientBefore_; i < received.size(); ++i)
      if (!received[i].injected && received[i].down && IsDirection(received[i].vk) && inClient_ && !modifierHeld_ &&
          !model.paused)
        broken.push_back("physical " + standin::KeyName(received[i].vk) + " reached the client");
    // What the hook did with the player's key, if the event was a key.
    const std::string& outcomes = standin::Outcomes();
    if (outcomes.size() > outcomesSeen_) {
      bool swallowed = outcomes.back() == 'S';
      if (model.mustPass && swallowed) broken.push_back("swallowed a key that must pass on");
      if (!model.mustPass && !swallowed) broken.push_back("let through a key the walker takes");
    }
    // A key the hook lets through goes on through the chain, or later hooks never see it.
    if (outcomes.find('R', outcomesSeen_) != std::string::npos)
      broken.push_back("the hook let a key through without passing it on");
    outcomesSeen_ = outcomes.size();

    // Whenever the player holds nothing, nothing may be down anywhere.
    if (physical.empty())
      for (int key = 1; key < 256; ++key)
        if (standin::IsKeyDown(static_cast<BYTE>(key)))
          broken.push_back(standin::KeyName(static_cast<BYTE>(key)) + " stuck down with no key held");
    return broken;
  }

 private:
  HWND client_;
  std::size_t clientBefore_ = 0;
  bool modifierHeld_ = false;
  bool inClient_ = false;
  std::size_t injectedSeen_ = 0;
  std::set<BYTE> injectedDown_;
  std::size_t outcomesSeen_ = 0;
};

}  // namespace walking_reference
