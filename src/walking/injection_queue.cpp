#include "walking/injection_queue.h"

#include "walking/injected_key.h"
#include "walking/keys.h"

namespace {

// A decision queues two keys at most; nesting adds a decision per key typed
// while one SendInput waits.
constexpr int kCapacity = 32;

struct QueuedKey {
  BYTE vk;
  bool up;
  bool typed;
  // The key of the hook call that is sending the queue, which it passes on
  // itself unless a key typed after it queued up behind it.
  bool passing;
  WORD scanCode;
  bool extended;
};

struct Queue {
  QueuedKey keys[kCapacity] = {};
  int first = 0;
  int count = 0;
  bool sending = false;
  bool passingLeft = false;
};
Queue queue;

bool SendNow(QueuedKey key) {
  INPUT input = InjectedKey(key.vk, key.up);
  // A key the player typed, sent again behind the walk, keeps its own scan code.
  if (key.typed) {
    input.ki.wScan = key.scanCode;
    if (key.extended) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  }
  return SendInput(1, &input, static_cast<int>(sizeof input)) == 1;
}

void Enqueue(QueuedKey key) {
  // Never lose a key: with the queue full, it goes out at once.
  if (queue.count == kCapacity) {
    SendNow(key);
    return;
  }
  queue.keys[(queue.first + queue.count) % kCapacity] = key;
  ++queue.count;
}

QueuedKey TypedKey(const KBDLLHOOKSTRUCT& event, bool up, bool passing) {
  return {static_cast<BYTE>(event.vkCode),    up, true, passing, static_cast<WORD>(event.scanCode),
          (event.flags & LLKHF_EXTENDED) != 0};
}

}  // namespace

void QueueKeyEvent(BYTE vk, bool up) { Enqueue({vk, up, false, false, 0, false}); }

void QueueTypedKey(const KBDLLHOOKSTRUCT& event, bool up) { Enqueue(TypedKey(event, up, false)); }

void QueuePassingKey(const KBDLLHOOKSTRUCT& event, bool up) {
  if (queue.count == kCapacity) {
    queue.passingLeft = true;
    return;
  }
  Enqueue(TypedKey(event, up, true));
}

bool PassingKeyLeftToPassOn() {
  bool left = queue.passingLeft;
  queue.passingLeft = false;
  // Held back behind a key-up the platform refused, it goes out after it.
  for (int i = 0; i < queue.count; ++i) queue.keys[(queue.first + i) % kCapacity].passing = false;
  return left;
}

bool KeysQueued() { return queue.count > 0; }

int WaitingTypedKeyState(BYTE vk) {
  int state = -1;
  for (int i = 0; i < queue.count; ++i) {
    const QueuedKey& key = queue.keys[(queue.first + i) % kCapacity];
    if (key.typed && EitherSideCode(key.vk) == vk) state = key.up ? 0 : 1;
  }
  return state;
}
bool SendingKeys() { return queue.sending; }

void SendQueuedKeys() {
  if (queue.sending) return;
  queue.sending = true;
  while (queue.count > 0) {
    QueuedKey key = queue.keys[queue.first];
    if (key.passing && queue.count == 1) {
      queue.count = 0;
      queue.passingLeft = true;
      break;
    }
    if (!SendNow(key) && key.up) break;
    queue.first = (queue.first + 1) % kCapacity;
    --queue.count;
  }
  queue.sending = false;
}

void ResetInjectionQueue() { queue = {}; }
