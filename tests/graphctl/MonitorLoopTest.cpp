// The monitor loop against real graphs and a real request channel, its messages received by a
// window of the test thread. Cycles are counted through the loop's own posts, never by time.
#include <gtest/gtest.h>

#include "GraphMngRig.h"

using MonitorLoop = GraphMngTest;
using Mng = CFontisGraphMng;

TEST_F(MonitorLoop, CheckClientsOnlyWithAGraphFromTheSixthCycleWithoutAClientOfAnotherProcessThenEveryCycle) {
  ASSERT_NO_FATAL_FAILURE(Create(TRUE));
  ASSERT_NO_FATAL_FAILURE(StartTicking());
  ASSERT_GE(clients.Add(::GetCurrentProcessId(), FALSE, 640, 480), 0);  // not a client that counts
  // Without a graph there is nothing to count.
  ASSERT_EQ(S_OK, Configure(kTestCamStandard, FALSE));
  ASSERT_TRUE(messages.WaitTicks(12));
  EXPECT_EQ(0u, messages.Count(WM_HOST_CHECK_CLIENTS));
  EXPECT_EQ(Mng::kNoClientCountdownStart, graph->NoClientCountdown());
  EXPECT_EQ(Mng::kStallCountdownStart, graph->StallCountdown());

  // With one, from the object's first cycle on; each cycle posts its check before its tick.
  ASSERT_NO_FATAL_FAILURE(Create(TRUE));
  size_t from = messages.Drain();
  ASSERT_EQ(S_OK, Configure(kTestCamStandard, TRUE));
  ASSERT_TRUE(WaitUntil([&] { return messages.Count(WM_HOST_CHECK_CLIENTS, from) >= 3; }, kLoopWaitMs));
  std::vector<size_t> checks = messages.IndicesOf(WM_HOST_CHECK_CLIENTS);
  EXPECT_EQ(5u, messages.Ticks(from, checks[0])) << "first check not in the 6th cycle";
  EXPECT_EQ(1u, messages.Ticks(checks[0], checks[1]));
  EXPECT_EQ(1u, messages.Ticks(checks[1], checks[2]));
  EXPECT_LE(graph->NoClientCountdown(), 0);

  // A client of another process: back to 6, no more checks (the cycle in progress may have
  // missed it).
  const int other = clients.Add(kOtherProcessId, FALSE, 640, 480);
  ASSERT_TRUE(messages.WaitTicks(2));
  from = messages.Drain();
  ASSERT_TRUE(messages.WaitTicks(8));
  EXPECT_EQ(0u, messages.Count(WM_HOST_CHECK_CLIENTS, from));
  EXPECT_EQ(Mng::kNoClientCountdownStart, graph->NoClientCountdown());

  // The camera request acknowledged: no more device messages, on the clock of the checks that
  // resume once the other client has gone.
  ASSERT_EQ(S_OK, host.AckDeviceRequest(L"Another camera", GUID_NULL));
  ASSERT_TRUE(clients.Remove(other));
  const size_t checksBefore = messages.Count(WM_HOST_CHECK_CLIENTS);
  ASSERT_TRUE(WaitUntil([&] { return messages.Count(WM_HOST_CHECK_CLIENTS) >= checksBefore + 8; }, kLoopWaitMs));
  EXPECT_EQ(0u, messages.Ticks(messages.IndicesOf(WM_HOST_CHECK_CLIENTS)[checksBefore]));
}

TEST_F(MonitorLoop, FormatChangedOncePerRendererSignalAndOnlyForAClientOfAnotherProcess) {
  ASSERT_NO_FATAL_FAILURE(Create(FALSE));
  ASSERT_NO_FATAL_FAILURE(StartTicking());
  const DWORD self = ::GetCurrentProcessId();
  ASSERT_GE(clients.Add(self, FALSE, 640, 480), 0);
  ASSERT_EQ(S_OK, Configure(kTestCamStandard, FALSE));
  ASSERT_EQ(S_OK, BuildAtRequestedFormat());

  // A larger request of this process: the renderer signals, but there is nobody to tell yet.
  ASSERT_GE(clients.Add(self, FALSE, 1280, 720), 0);
  ASSERT_TRUE(messages.WaitTicks(40));  // many of the renderer's polls
  EXPECT_EQ(0u, messages.Count(WM_HOST_FORMAT_CHANGED));

  // A client of another process: the signal kept for it is reported at once, and once only.
  const size_t before = messages.Drain();
  ASSERT_GE(clients.Add(kOtherProcessId, FALSE, 320, 240), 0);
  ASSERT_TRUE(WaitUntil([&] { return messages.Count(WM_HOST_FORMAT_CHANGED) == 1; }, kLoopWaitMs));
  EXPECT_LE(messages.Ticks(before, messages.IndicesOf(WM_HOST_FORMAT_CHANGED)[0]), 2u);
  ASSERT_TRUE(messages.WaitTicks(20));
  EXPECT_EQ(1u, messages.Count(WM_HOST_FORMAT_CHANGED));

  // Another change of the largest request: one more signal, one more message.
  ASSERT_GE(clients.Add(kOtherProcessId, FALSE, 1920, 1080), 0);
  ASSERT_TRUE(WaitUntil([&] { return messages.Count(WM_HOST_FORMAT_CHANGED) == 2; }, kLoopWaitMs));
}

TEST_F(MonitorLoop, NoRunNorCheckForAClientOfThisProcessAndQuitOnlyAfterSixHundredInvalidCycles) {
  ASSERT_NO_FATAL_FAILURE(Create(FALSE));
  ASSERT_NO_FATAL_FAILURE(StartTicking());
  // A client of this process, so that the loop does not bring the run state back in line.
  const int own = clients.Add(::GetCurrentProcessId(), TRUE, 640, 480);
  ASSERT_EQ(S_OK, Configure(kTestCamStandard, TRUE));
  ASSERT_TRUE(messages.WaitTicks(12));
  EXPECT_EQ(0u, messages.Count(WM_HOST_CHECK_CLIENTS)) << "the host was not to end without clients";
  EXPECT_EQ(Mng::kNoClientCountdownStart, graph->NoClientCountdown());
  EXPECT_FALSE(graph->IsGraphRunning()) << "run for a client of the host's own process";
  EXPECT_LT(graph->StallCountdown(), Mng::kStallCountdownStart - 5) << "built, wanted, not running";
  ASSERT_EQ(S_OK, graph->RunGraph(FALSE, 0));
  ASSERT_TRUE(WaitUntil([&] { return graph->StallCountdown() == Mng::kStallCountdownStart; }, kLoopWaitMs));

  // Running while nobody wants video, for a while; then valid again: the countdown starts over.
  ASSERT_TRUE(clients.SetWantsVideo(own, FALSE));
  ASSERT_TRUE(messages.WaitTicks(50));
  EXPECT_LE(graph->StallCountdown(), Mng::kStallCountdownStart - 48);
  ASSERT_TRUE(clients.SetWantsVideo(own, TRUE));
  ASSERT_TRUE(WaitUntil([&] { return graph->StallCountdown() == Mng::kStallCountdownStart; }, kLoopWaitMs));
  EXPECT_EQ(0u, messages.Count(WM_QUIT));

  // Invalid for good: WM_QUIT in the 600th invalid cycle (after that cycle's tick), then in every
  // cycle. The cycle in progress when the state turns may count either way.
  const size_t from = messages.Drain();
  ASSERT_TRUE(clients.SetWantsVideo(own, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return messages.Count(WM_QUIT) >= 3; }, 120000));
  const std::vector<size_t> quits = messages.IndicesOf(WM_QUIT);
  EXPECT_GE(messages.Ticks(from, quits[0]), 599u);
  EXPECT_LE(messages.Ticks(from, quits[0]), 601u);
  EXPECT_EQ(1u, messages.Ticks(quits[0], quits[1]));
  EXPECT_EQ(1u, messages.Ticks(quits[1], quits[2]));
  EXPECT_LT(graph->StallCountdown(), 0);
}
