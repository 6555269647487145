#include "walking/chat_mode.h"

#include "walking/pause_key.h"

bool chatMode = false;
bool enterKeyDown = false;
bool escapeKeyDown = false;

void UseChatMode(bool on) { chatMode = on; }

bool IsChatKey(DWORD vk) { return chatMode && (vk == VK_RETURN || vk == VK_ESCAPE); }

void OnChatKey(DWORD vk, WPARAM message, bool mayswitch) {
  bool enter = vk == VK_RETURN;
  if (!IsFreshPress(enter ? enterKeyDown : escapeKeyDown, message) || !mayswitch) return;
  // The pause is the pause key's too: Enter switches it as that key does, and
  // Esc, which leaves the chat whatever opened it, only ever resumes.
  if (enter)
    SetWalkingPaused(!walkingPaused);
  else if (walkingPaused)
    SetWalkingPaused(false);
}

void ResetChatMode() { chatMode = enterKeyDown = escapeKeyDown = false; }
