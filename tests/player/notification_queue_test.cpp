// The posted channel: notifications from any thread arrive in order at the draining thread, and the
// host's wake hook runs once per post.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "player/notification_queue.h"

namespace reeldeck {
namespace {

TEST(NotificationQueue, PostsFromWorkersArriveInOrderPerThreadAndWakeTheHost) {
    NotificationQueue queue;
    std::atomic<int> wakes{0};
    queue.SetWake([&] { wakes.fetch_add(1); });
    EXPECT_FALSE(queue.TryTake().has_value());
    EXPECT_FALSE(queue.WaitTake(1).has_value());

    constexpr int kThreads = 3, kEach = 200;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&queue, t] {
            for (int i = 0; i < kEach; ++i) queue.Post(PlayerNotification::kError, t, i);
        });
    std::vector<int> next(kThreads, 0);
    for (int received = 0; received < kThreads * kEach; ++received) {
        auto n = queue.WaitTake(5000);
        ASSERT_TRUE(n.has_value());
        EXPECT_EQ(n->code, PlayerNotification::kError);
        EXPECT_EQ(n->lParam, next[static_cast<std::size_t>(n->wParam)]++);
    }
    for (std::thread& w : workers) w.join();
    EXPECT_EQ(wakes.load(), kThreads * kEach);
    EXPECT_EQ(queue.Size(), 0u);
    EXPECT_EQ(MessageCode(PlayerNotification::kSeekRequest), 0x8000 + 105);
}

}  // namespace
}  // namespace reeldeck
