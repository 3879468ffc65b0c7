#include <gtest/gtest.h>

#include <atomic>

#include "platform/Threads.h"

using namespace platform;

TEST(Event, ManualResetReleasesEveryWaiterUntilReset) {
  TEvent event;
  EXPECT_FALSE(event.Wait(10));
  std::atomic<int> released{0};
  {
    TThread a([&] { event.Wait(); ++released; });
    TThread b([&] { event.Wait(); ++released; });
    event.Set();
  }  // the threads are joined here
  EXPECT_EQ(released, 2);
  EXPECT_TRUE(event.Wait(0));  // stays set
  event.Reset();
  EXPECT_FALSE(event.Wait(5));
}

TEST(Thread, KnowsItsOwnIdAndSignalsTheEnd) {
  ThreadId seen = 0;
  TThread t([&] { seen = CurrentThreadId(); });
  const ThreadId id = t.Id();
  EXPECT_TRUE(t.Finished().Wait(5000));
  t.Join();
  EXPECT_EQ(seen, id);
  EXPECT_NE(id, CurrentThreadId());
  EXPECT_GT(id, 0);
}

TEST(CriticalSection, IsReentrant) {
  TCriticalSection cs;
  std::lock_guard outer(cs);
  std::lock_guard inner(cs);  // must not deadlock
  SUCCEED();
}
