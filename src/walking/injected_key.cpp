#include "walking/injected_key.h"

bool injectScanCodes = false;

namespace {

// Each key's scan code, read once. The launcher's thread keeps the keyboard
// layout it started with (it never has the focus a layout switch goes to),
// and asking MapVirtualKeyW for each key sent cost the walk some 5% of its
// latency under Wine.
WORD scanCodes[256] = {};

}  // namespace

void UseScanCodes(UINT setting) {
  injectScanCodes = setting != 0;
  if (!injectScanCodes) return;
  for (UINT vk = 0; vk < 256; ++vk) scanCodes[vk] = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
}

INPUT InjectedKey(BYTE vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  // Still sent by virtual-key code: the scan code rides along for clients
  // that read it.
  input.ki.wVk = vk;
  if (injectScanCodes) input.ki.wScan = scanCodes[vk];
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  input.ki.dwExtraInfo = kInjectedKeyMark;
  return input;
}

void ResetInjectedKey() {
  injectScanCodes = false;
  for (WORD& scanCode : scanCodes) scanCode = 0;
}
