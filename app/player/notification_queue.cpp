#include "player/notification_queue.h"

#include <chrono>
#include <utility>

namespace reeldeck {

void NotificationQueue::Post(PlayerNotification code, int64_t wParam, int64_t lParam) {
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> hold(lock_);
        items_.push_back({code, wParam, lParam});
        wake = wake_;
    }
    posted_.notify_all();
    if (wake) wake();
}

std::optional<PostedNotification> NotificationQueue::TryTake() {
    std::lock_guard<std::mutex> hold(lock_);
    if (items_.empty()) return std::nullopt;
    PostedNotification n = items_.front();
    items_.pop_front();
    return n;
}

std::optional<PostedNotification> NotificationQueue::WaitTake(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!posted_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [this] { return !items_.empty(); }))
        return std::nullopt;
    PostedNotification n = items_.front();
    items_.pop_front();
    return n;
}

std::size_t NotificationQueue::Size() const {
    std::lock_guard<std::mutex> hold(lock_);
    return items_.size();
}

void NotificationQueue::SetWake(std::function<void()> wake) {
    std::lock_guard<std::mutex> hold(lock_);
    wake_ = std::move(wake);
}

}  // namespace reeldeck
