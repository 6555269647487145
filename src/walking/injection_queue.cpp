#include "walking/injection_queue.h"

#include "walking/injected_key.h"

namespace {

// A decision queues two keys at most; nesting adds a decision per key typed
// while one SendInput waits.
constexpr int kCapacity = 32;

struct QueuedKey {
  BYTE vk;
  bool up;
};

QueuedKey queue[kCapacity];
int first = 0;
int count = 0;
bool sending = false;

void SendNow(QueuedKey key) {
  INPUT input = InjectedKey(key.vk, key.up);
  SendInput(1, &input, static_cast<int>(sizeof input));
}

}  // namespace

void QueueKeyEvent(BYTE vk, bool up) {
  // Never lose a key: with the queue full, it goes out at once.
  if (count == kCapacity) return SendNow({vk, up});
  queue[(first + count) % kCapacity] = {vk, up};
  ++count;
}

void SendQueuedKeys() {
  if (sending) return;
  sending = true;
  while (count > 0) {
    QueuedKey key = queue[first];
    first = (first + 1) % kCapacity;
    --count;
    SendNow(key);
  }
  sending = false;
}

void ResetInjectionQueue() {
  first = count = 0;
  sending = false;
}
