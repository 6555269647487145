// How each key the walker injects is filled in: by virtual-key code, with the
// key's scan code for clients that read scan codes, and with the launcher's
// mark, which tells its keys from the player's wherever they are seen again.
#pragma once

#include <windows.h>

// Whether injected keys carry their scan code; off unless the settings say so.
// The codes are those of the keyboard layout when the setting is read.
extern bool injectScanCodes;

// The mark in each injected key's extra information. RAWKEYBOARD keeps only
// 32 bits of it, so it fits in 32 bits.
inline constexpr ULONG_PTR kInjectedKeyMark = 0x564E4C57;

void UseScanCodes(UINT setting);
INPUT InjectedKey(BYTE vk, bool up);
// Scan code 0, as at start.
void ResetInjectedKey();
