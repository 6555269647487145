// The walking rules for the end-to-end soak, from the unit tests' reference
// model: reads one physical key event a line, "<vk> <down> <in client>
// <modifier held>" (0 or 1 each but the key code), and answers "<reaches its
// window> <key the walker holds, 0 for none>". A key code of 0 is no key but
// the foreground moving, to the client or away from it.
#include <cstdio>

#include "walking_reference.h"

int main() {
  walking_reference::Reference model;
  unsigned vk = 0, down = 0, inClient = 0, modifierHeld = 0;
  while (std::scanf("%u %u %u %u", &vk, &down, &inClient, &modifierHeld) == 4) {
    if (vk == 0)
      model.OnForeground(inClient != 0);
    else
      model.OnPhysical(static_cast<BYTE>(vk), down ? WM_KEYDOWN : WM_KEYUP, inClient != 0, modifierHeld != 0);
    std::printf("%d %u\n", model.mustPass ? 1 : 0, static_cast<unsigned>(model.Expected()));
    std::fflush(stdout);
  }
  return 0;
}
