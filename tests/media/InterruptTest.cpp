// The per-thread interrupt registry and the dispatcher installed on every
// format context.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>

#include "media/FFBindings.h"
#include "media/FFLoad.h"

using namespace media;

namespace {
bool Yes(void*) { return true; }
bool No(void*) { return false; }
bool Flag(void* sender) { return static_cast<std::atomic<bool>*>(sender)->load(); }
}  // namespace

TEST(InterruptRegistry, EachThreadConsultsOnlyItsOwnEntry) {
  TInterruptCB registry;
  platform::TEvent registered, checked;
  std::atomic<int> seenA{-1}, seenB{-1};
  platform::TThread a([&] {
    registry.Add(platform::CurrentThreadId(), nullptr, Yes);
    registered.Wait();
    seenA = registry.Interrupt(platform::CurrentThreadId());
    checked.Wait();
  });
  platform::TThread b([&] {
    registry.Add(platform::CurrentThreadId(), nullptr, No);
    registered.Wait();
    seenB = registry.Interrupt(platform::CurrentThreadId());
    checked.Wait();
  });
  registered.Set();
  checked.Set();
  a.Join();
  b.Join();
  EXPECT_EQ(seenA, 1);
  EXPECT_EQ(seenB, 0);
  EXPECT_FALSE(registry.Interrupt(platform::CurrentThreadId()));
  EXPECT_EQ(registry.LockList().size(), 2u);
  registry.UnlockList();
}

TEST(InterruptRegistry, AddIsIdempotentAndRemoveTakesTheMatchingEntry) {
  TInterruptCB registry;
  int s1 = 0, s2 = 0;
  const auto me = platform::CurrentThreadId();
  registry.Add(me, &s1, No);
  registry.Add(me, &s1, No);  // the same entry: ignored
  registry.Add(me, &s2, Yes);
  EXPECT_EQ(registry.LockList().size(), 2u);
  registry.UnlockList();
  EXPECT_FALSE(registry.Interrupt(me));  // the first entry decides
  registry.Remove(me, &s1, Yes);         // not the same procedure: stays
  EXPECT_FALSE(registry.Interrupt(me));
  registry.Remove(me, &s1, No);
  EXPECT_TRUE(registry.Interrupt(me));
  registry.Clear();
  EXPECT_FALSE(registry.Interrupt(me));
}

TEST(InterruptDispatcher, DecidesForTheCallingThread) {
  std::atomic<bool> abort{true};
  const auto me = platform::CurrentThreadId();
  InterruptCB().Add(me, &abort, Flag);
  EXPECT_EQ(InterruptDispatcher(nullptr), 1);
  int other = -1;
  platform::TThread t([&] { other = InterruptDispatcher(nullptr); });
  t.Join();
  EXPECT_EQ(other, 0);
  abort = false;
  EXPECT_EQ(InterruptDispatcher(nullptr), 0);
  InterruptCB().Remove(me, &abort, Flag);
}

// A loopback server that accepts connections and never answers: a library
// open against it blocks until the interrupt callback ends it.
TEST(InterruptDispatcher, EndsABlockedNetworkOpen) {
  ASSERT_TRUE(FFLoader().Load(kEncoderLibraries)) << FFLoader().LastErrMsg();
  const int server = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(server, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(server, 4), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x";

  std::atomic<bool> abort{false};
  const auto me = platform::CurrentThreadId();
  InterruptCB().Add(me, &abort, Flag);
  platform::TThread stopper([&] {
    platform::SleepMs(200);
    abort = true;
  });

  AVFormatContext* ctx = ff::avformat_alloc_context();
  ASSERT_NE(ctx, nullptr);
  ctx->interrupt_callback = MakeInterruptCB();
  const auto start = std::chrono::steady_clock::now();
  const int result = ff::avformat_open_input(&ctx, url.c_str(), nullptr, nullptr);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  stopper.Join();
  InterruptCB().Remove(me, &abort, Flag);
  ::close(server);

  EXPECT_LT(result, 0);
  EXPECT_EQ(ctx, nullptr);  // freed by the failed open
  // Without the dispatcher the open would wait forever; with it, it ends
  // shortly after the abort (a generous bound, not a speed target).
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 3000);
}
