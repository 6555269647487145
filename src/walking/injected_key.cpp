#include "walking/injected_key.h"

bool injectScanCodes = false;

void UseScanCodes(UINT setting) {
  injectScanCodes = setting != 0;
  // Wine loads the keyboard layout at the first MapVirtualKeyW of a process,
  // which took 75 to 600 ms here: paid now, not by the hook at the first key.
  if (injectScanCodes) MapVirtualKeyW('W', MAPVK_VK_TO_VSC);
}

INPUT InjectedKey(BYTE vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  // Still sent by virtual-key code: the scan code rides along for clients
  // that read it, in the layout in use now.
  if (injectScanCodes) input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  input.ki.dwExtraInfo = kInjectedKeyMark;
  return input;
}

void ResetInjectedKey() { injectScanCodes = false; }
