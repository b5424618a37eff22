// The posted channel from the engine to the main window: a FIFO of notifications that any thread may
// post to and the host drains on its own thread, like a window's message queue.
#ifndef REELDECK_PLAYER_NOTIFICATION_QUEUE_H
#define REELDECK_PLAYER_NOTIFICATION_QUEUE_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

#include "player/player_host.h"

namespace reeldeck {

struct PostedNotification {
    PlayerNotification code = PlayerNotification::kError;
    int64_t wParam = 0;
    int64_t lParam = 0;
};

class NotificationQueue {
  public:
    NotificationQueue() = default;
    NotificationQueue(const NotificationQueue&) = delete;
    NotificationQueue& operator=(const NotificationQueue&) = delete;

    // Appends and wakes the host. Never blocks beyond the queue's lock.
    void Post(PlayerNotification code, int64_t wParam = 0, int64_t lParam = 0);
    // The oldest notification, without waiting.
    std::optional<PostedNotification> TryTake();
    // The oldest notification, waiting up to `timeoutMs` for one.
    std::optional<PostedNotification> WaitTake(uint32_t timeoutMs);
    std::size_t Size() const;

    // Called after every Post, on the posting thread, with no lock held: a GUI host uses it to schedule a
    // drain on its own thread (a queued call). Set it before the engine runs.
    void SetWake(std::function<void()> wake);

  private:
    mutable std::mutex lock_;  // guards items_ and wake_
    std::condition_variable posted_;
    std::deque<PostedNotification> items_;
    std::function<void()> wake_;
};

}  // namespace reeldeck

#endif
