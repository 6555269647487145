#include "walking/injection_queue.h"

namespace {

// A decision queues two keys at most; nesting adds a decision per key typed
// while one SendInput waits.
constexpr int kCapacity = 32;

struct QueuedKey {
  BYTE vk;
  bool up;
};

struct Queue {
  QueuedKey keys[kCapacity] = {};
  int first = 0;
  int count = 0;
  bool sending = false;
};
Queue queue;

bool SendNow(QueuedKey key) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key.vk;
  input.ki.dwFlags = key.up ? KEYEVENTF_KEYUP : 0;
  return SendInput(1, &input, static_cast<int>(sizeof input)) == 1;
}

}  // namespace

void QueueKeyEvent(BYTE vk, bool up) {
  // Never lose a key: with the queue full, it goes out at once.
  if (queue.count == kCapacity) {
    SendNow({vk, up});
    return;
  }
  queue.keys[(queue.first + queue.count) % kCapacity] = {vk, up};
  ++queue.count;
}

bool KeysQueued() { return queue.count > 0; }

void SendQueuedKeys() {
  if (queue.sending) return;
  queue.sending = true;
  while (queue.count > 0) {
    QueuedKey key = queue.keys[queue.first];
    if (!SendNow(key) && key.up) break;
    queue.first = (queue.first + 1) % kCapacity;
    --queue.count;
  }
  queue.sending = false;
}

void ResetInjectionQueue() { queue = {}; }
