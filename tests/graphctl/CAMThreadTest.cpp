// The worker thread's mailbox: queuing, early replies, hand-over of the thread handle, COM.
#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <vector>

#include "common/ScopedHandle.h"
#include "graphctl/CAMThread.h"

namespace {

// Answers every request with request + 1000 after a pause, until asked for 0.
class EchoThread : public CAMThread {
 public:
  explicit EchoThread(DWORD pauseMs = 0) : m_pauseMs(pauseMs) {}
  ~EchoThread() override {
    if (HasThread()) CallThread(0);
    CloseThread();
  }

  DWORD ThreadMain() override {
    m_comResult = InitComForThread();  // a second initialisation on the same thread
    if (SUCCEEDED(m_comResult)) ::CoUninitialize();
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    m_isMta = SUCCEEDED(::CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
    for (;;) {
      DWORD request = 0;
      if (!PeekRequest(&request)) {
        ::Sleep(1);
        continue;
      }
      ::Sleep(m_pauseMs);
      m_seen.push_back(request);
      ReplyRequest(request + 1000);
      if (request == 0) return 1;
    }
  }

  std::vector<DWORD> m_seen;
  HRESULT m_comResult = E_FAIL;
  bool m_isMta = false;

 private:
  DWORD m_pauseMs;
};

// Replies once, at once, before anyone has asked.
class EarlyReplyThread : public CAMThread {
 public:
  ~EarlyReplyThread() override { CloseThread(); }
  DWORD ThreadMain() override {
    ReplyRequest(42);
    return 1;
  }
};

class IdleThread : public CAMThread {
 public:
  ~IdleThread() override { CloseThread(); }
  DWORD ThreadMain() override { return 1; }
};

}  // namespace

TEST(CAMThread, CallsFailWithoutAThreadOrOnceItEndedUnansweredAndDestructionDoesNotWait) {
  IdleThread idle;
  EXPECT_FALSE(idle.HasThread());
  EXPECT_EQ(static_cast<DWORD>(E_FAIL), idle.CallThread(7));
  // A worker that ends without replying: its end wakes the caller.
  ASSERT_TRUE(idle.StartThread());
  EXPECT_EQ(static_cast<DWORD>(E_FAIL), idle.CallThread(7));
  DWORD reply = 5;
  EXPECT_FALSE(idle.CallThreadWithin(7, INFINITE, &reply));
  EXPECT_EQ(5u, reply);
  idle.CloseThread();
}

TEST(CAMThread, RoundTripAndSecondStartRefused) {
  EchoThread echo;
  ASSERT_TRUE(echo.StartThread());
  EXPECT_FALSE(echo.StartThread());
  EXPECT_TRUE(echo.HasThread());
  EXPECT_EQ(1005u, echo.CallThread(5));
  EXPECT_EQ(1006u, echo.CallThread(6));
}

TEST(CAMThread, WorkerJoinsTheMultithreadedApartment) {
  EchoThread echo;
  ASSERT_TRUE(echo.StartThread());
  EXPECT_EQ(1001u, echo.CallThread(1));
  EXPECT_TRUE(SUCCEEDED(echo.m_comResult));
  EXPECT_TRUE(echo.m_isMta);
}

TEST(CAMThread, PeekLeavesTheRequestPendingAndAReplyGivenUpOnIsDropped) {
  // A client needs a thread to call: give the object one that never answers by itself.
  class Silent : public CAMThread {
   public:
    ~Silent() override { CloseThread(); }
    DWORD ThreadMain() override {
      ::WaitForSingleObject(m_stop.Handle(), INFINITE);
      return 1;
    }
    CWaitEvent m_stop{TRUE};
  } silent;
  ASSERT_TRUE(silent.StartThread());

  struct Call {
    Silent* target;
    DWORD request;
    DWORD reply;
  } call{&silent, 77, 0};
  LPTHREAD_START_ROUTINE caller = [](void* p) -> DWORD {
    auto* call = static_cast<Call*>(p);
    call->reply = call->target->CallThread(call->request);
    return 0;
  };
  ScopedHandle client(::CreateThread(nullptr, 0, caller, &call, 0, nullptr));
  while (!silent.PeekRequest(nullptr)) ::Sleep(1);
  EXPECT_TRUE(silent.PeekRequest(nullptr));  // still pending
  DWORD request = 0;
  EXPECT_TRUE(silent.PeekRequest(&request));
  EXPECT_EQ(77u, request);
  silent.ReplyRequest(5);
  ::WaitForSingleObject(client.Get(), INFINITE);
  EXPECT_EQ(5u, call.reply);
  EXPECT_FALSE(silent.PeekRequest(nullptr));

  // A bounded call that gives up leaves its request pending; a reply that comes after it is
  // dropped, and the next call gets its own.
  DWORD reply = 0;
  EXPECT_FALSE(silent.CallThreadWithin(78, 0, &reply));
  EXPECT_TRUE(silent.PeekRequest(&reply));
  EXPECT_EQ(78u, reply);
  silent.ReplyRequest(6);
  silent.DiscardReply();
  call.request = 79;
  client.Reset(::CreateThread(nullptr, 0, caller, &call, 0, nullptr));
  while (!silent.PeekRequest(&request) || request != 79) ::Sleep(1);
  silent.ReplyRequest(7);
  ::WaitForSingleObject(client.Get(), INFINITE);
  EXPECT_EQ(7u, call.reply);
  silent.m_stop.Set();
}

TEST(CAMThread, ReplyBeforeTheRequestStillReachesTheCaller) {
  EarlyReplyThread early;
  ASSERT_TRUE(early.StartThread());
  ::Sleep(50);  // the reply is certainly out before the call
  EXPECT_EQ(42u, early.CallThread(0));
}

TEST(CAMThread, ConcurrentCallersQueueOnTheAccessLock) {
  EchoThread echo(20);
  ASSERT_TRUE(echo.StartThread());
  struct Call {
    EchoThread* target;
    DWORD request;
    DWORD reply;
  };
  Call calls[4] = {{&echo, 11, 0}, {&echo, 12, 0}, {&echo, 13, 0}, {&echo, 14, 0}};
  ScopedHandle threads[4];
  for (int i = 0; i < 4; ++i) {
    threads[i].Reset(::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
          auto* call = static_cast<Call*>(p);
          call->reply = call->target->CallThread(call->request);
          return 0;
        },
        &calls[i], 0, nullptr));
  }
  for (auto& thread : threads) ::WaitForSingleObject(thread.Get(), INFINITE);
  // Had a second request overwritten the first before its reply was read, some caller would
  // have received another caller's answer or a request would have been seen twice.
  for (const Call& call : calls) EXPECT_EQ(call.request + 1000, call.reply);
  EXPECT_EQ(4u, echo.m_seen.size());
}

TEST(CAMThread, CloseThreadTwiceWaitsOnlyOnce) {
  IdleThread idle;
  ASSERT_TRUE(idle.StartThread());
  idle.CloseThread();
  EXPECT_FALSE(idle.HasThread());
  idle.CloseThread();
  EXPECT_FALSE(idle.HasThread());
  // A fresh start after the hand-over is allowed.
  EXPECT_TRUE(idle.StartThread());
}
