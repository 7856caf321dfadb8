// The worker thread's mailbox: queuing, early and late replies, the thread handle's hand-over, COM.
#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "common/ScopedHandle.h"
#include "graphctl/CAMThread.h"

namespace {

// Runs `body` as its thread; the test plays the worker itself where it needs the timing in hand.
class TestThread final : public CAMThread {
 public:
  template <class Body>
  explicit TestThread(Body body) : m_body(body) {}
  ~TestThread() override { CloseThread(); }
  DWORD ThreadMain() override { return m_body(*this); }

 private:
  std::function<DWORD(TestThread&)> m_body;
};

}  // namespace

TEST(CAMThread, CallsFailWithoutAThreadOrOnceItEndedAnEarlyReplyStillArrivesAndTheHandleIsClosedOnce) {
  TestThread idle([](TestThread&) -> DWORD { return 1; });
  EXPECT_EQ(static_cast<DWORD>(E_FAIL), idle.CallThread(7));
  ASSERT_TRUE(idle.StartThread());
  EXPECT_EQ(static_cast<DWORD>(E_FAIL), idle.CallThread(7));  // its end wakes the caller
  DWORD reply = 5;
  EXPECT_FALSE(idle.CallThreadWithin(7, INFINITE, &reply));
  EXPECT_EQ(5u, reply);
  idle.CloseThread();
  EXPECT_FALSE(idle.HasThread());
  idle.CloseThread();

  TestThread early([](TestThread& self) -> DWORD {
    self.ReplyRequest(42);
    return 1;
  });
  ASSERT_TRUE(early.StartThread());
  ::Sleep(50);  // the reply is certainly out before the call
  EXPECT_EQ(42u, early.CallThread(0));
}

TEST(CAMThread, ConcurrentCallersQueueOnTheAccessLockAndTheWorkerIsInTheMta) {
  std::vector<DWORD> seen;
  std::atomic<bool> mta{false};
  // Answers request + 1000 after a pause, until asked for 0.
  TestThread echo([&](TestThread& self) -> DWORD {
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    mta = SUCCEEDED(::CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
    for (;;) {
      DWORD request = 0;
      if (!self.PeekRequest(&request)) {
        ::Sleep(1);
        continue;
      }
      ::Sleep(20);
      seen.push_back(request);
      self.ReplyRequest(request + 1000);
      if (request == 0) return 1;
    }
  });
  ASSERT_TRUE(echo.StartThread());
  EXPECT_FALSE(echo.StartThread());
  DWORD replies[4] = {};
  std::vector<std::thread> callers;
  for (DWORD i = 0; i < 4; ++i) callers.emplace_back([&, i] { replies[i] = echo.CallThread(11 + i); });
  for (std::thread& caller : callers) caller.join();
  // Had a second request overwritten the first before its reply was read, some caller would
  // have received another caller's answer or a request would have been seen twice.
  for (DWORD i = 0; i < 4; ++i) EXPECT_EQ(1011 + i, replies[i]);
  EXPECT_EQ(1000u, echo.CallThread(0));
  EXPECT_EQ(5u, seen.size());
  EXPECT_TRUE(mta.load());
}

TEST(CAMThread, PeekLeavesTheRequestPendingAndAReplyGivenUpOnIsDropped) {
  // The thread only waits; this test answers in its place.
  ScopedHandle stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  TestThread silent([&stop](TestThread&) -> DWORD { return ::WaitForSingleObject(stop.Get(), INFINITE); });
  ASSERT_TRUE(silent.StartThread());
  DWORD reply = 0, request = 0;
  std::thread caller([&] { reply = silent.CallThread(77); });
  while (!silent.PeekRequest(nullptr)) ::Sleep(1);
  EXPECT_TRUE(silent.PeekRequest(&request));  // still pending
  EXPECT_EQ(77u, request);
  silent.ReplyRequest(5);
  caller.join();
  EXPECT_EQ(5u, reply);
  EXPECT_FALSE(silent.PeekRequest(nullptr));

  // A bounded call that gives up leaves its request pending; a reply that comes after it is
  // dropped, and the next call gets its own.
  EXPECT_FALSE(silent.CallThreadWithin(78, 0, &reply));
  silent.ReplyRequest(6);
  silent.DiscardReply();
  std::thread next([&] { reply = silent.CallThread(79); });
  while (!silent.PeekRequest(&request) || request != 79) ::Sleep(1);
  silent.ReplyRequest(7);
  next.join();
  EXPECT_EQ(7u, reply);
  ::SetEvent(stop.Get());
}
