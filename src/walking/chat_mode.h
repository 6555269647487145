// The chat mode: Enter, which opens the game's chat and sends what was typed,
// pauses walking and resumes it; Esc, which closes the chat, resumes it.
#pragma once

#include <windows.h>

// Whether the chat mode is on, and whether the hook last saw Enter and Esc go
// down; touched only on the main thread.
extern bool chatMode;
extern bool enterKeyDown;
extern bool escapeKeyDown;

void UseChatMode(bool on);
// Enter or Esc, while the chat mode is on.
bool IsChatKey(DWORD vk);
// `mayswitch`: the client is in front and no modifier is held, so the key
// goes to the chat rather than to a shortcut or another window.
void OnChatKey(DWORD vk, WPARAM message, bool mayswitch);
// Off, neither key down.
void ResetChatMode();
