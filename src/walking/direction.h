// Turns the held W/A/S/D keys into the one key the client sees held down.
#pragma once

#include <windows.h>

void SendKeyEvent(BYTE vk, bool up);
void PressSentKey();
void ReleaseSentKey();
void ReleaseAll();
BYTE ResolveDirection();
void OnDirectionKey(BYTE vk, bool down);
bool IsDirectionKeyHeld(BYTE vk);
