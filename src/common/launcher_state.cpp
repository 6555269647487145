#include "common/launcher_state.h"

bool smartWalkingEnabled = true;
DWORD clientProcessId = 0;
HHOOK keyboardHook = nullptr;
HWINEVENTHOOK showEventHook = nullptr;
HWINEVENTHOOK nameChangeEventHook = nullptr;

std::atomic<std::int32_t> titleApplied{0};

BYTE sentKey = 0;
BYTE lastPressedKey = 0;
BYTE heldW = 0;
BYTE heldA = 0;
BYTE heldS = 0;
BYTE heldD = 0;

BYTE pauseKey = VK_SCROLL;
bool pauseKeyDown = false;
bool walkingPaused = false;
