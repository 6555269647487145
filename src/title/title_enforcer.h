// Keeps the client's top-level windows titled with the product title.
#pragma once

#include <windows.h>

void CALLBACK TitleEventProc(HWINEVENTHOOK hook, DWORD event, HWND window, LONG objectId, LONG childId,
                             DWORD eventThread, DWORD eventTime);
BOOL CALLBACK TitleEnumProc(HWND window, LPARAM parameter);
DWORD WINAPI TitleEnforcerThread(LPVOID parameter);
