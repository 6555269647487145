// The keys and key messages the walker tells apart.
#pragma once

#include <windows.h>

inline constexpr BYTE kDirectionKeys[] = {'W', 'A', 'S', 'D'};

inline bool IsDirectionKey(DWORD vk) { return vk == 'W' || vk == 'A' || vk == 'S' || vk == 'D'; }

// Keys that turn W/A/S/D into a shortcut: Shift, Ctrl, Alt and the Windows
// keys, either side.
inline bool IsModifierKey(DWORD vk) {
  return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU || (vk >= VK_LSHIFT && vk <= VK_RMENU) || vk == VK_LWIN ||
         vk == VK_RWIN;
}

// Shift, Ctrl and Alt by their code for either side, as raw input and
// GetAsyncKeyState name them; any other key as it is.
inline BYTE EitherSideCode(DWORD vk) {
  switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
      return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
      return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
      return VK_MENU;
    default:
      return static_cast<BYTE>(vk & 0xFF);
  }
}

inline bool IsKeyDownMessage(WPARAM message) { return message == WM_KEYDOWN || message == WM_SYSKEYDOWN; }
inline bool IsKeyUpMessage(WPARAM message) { return message == WM_KEYUP || message == WM_SYSKEYUP; }
