#include "common/message_pump.h"

bool PumpWaitingMessages(UINT wakeMask) {
  // PM_QS_* are the QS_* bits moved to the high word.
  UINT flags = wakeMask == QS_ALLINPUT ? PM_REMOVE : PM_REMOVE | wakeMask << 16;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, flags)) {
    if (message.message == WM_QUIT) return false;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}
