// Turns the held W/A/S/D keys into the one key the client sees held down.
#pragma once

#include <windows.h>

// The walking state; touched only on the main thread.
extern BYTE sentKey;
extern BYTE lastPressedKey;
extern BYTE heldW;
extern BYTE heldA;
extern BYTE heldS;
extern BYTE heldD;

// These decide and queue the keys to inject; the caller has them sent.
void ReleaseSentKey();
void ReleaseAll();
BYTE ResolveDirection();
void OnDirectionKey(BYTE vk, bool down);
bool IsDirectionKeyHeld(BYTE vk);
// Forgets the walk without sending anything.
void ResetDirection();
