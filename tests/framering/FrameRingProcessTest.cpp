// The frame ring against reader and writer processes: stalled or killed readers never hold the
// writer up, readers see only whole frames, and a writer killed mid-frame is taken over.
#include <gtest/gtest.h>

#include <vector>

#include "RingTestPattern.h"
#include "framering/CFrameRingReader.h"
#include "framering/CFrameRingWriter.h"
#include "support/TestProcess.h"
#include "support/WaitUntil.h"

namespace {

constexpr LONG kSide = 256;

// fontis_ring_peer sets "<instance>_ring_peer_ready" once it is in the state asked for.
bool StartRingPeer(TestProcess& peer, const std::wstring& instance, const std::wstring& arguments) {
  return StartAndAwaitReady(peer, L"fontis_ring_peer.exe", instance + L"_ring_peer_ready", arguments);
}

// Publishes `count` kSide x kSide frames, one every pauseMs; returns how many were published.
int PublishFrames(CFrameRingWriter& writer, int count, DWORD pauseMs) {
  int published = 0;
  for (int i = 0; i < count; ++i, ::Sleep(pauseMs)) published += PublishTestFrame(writer, kSide, kSide) != 0;
  return published;
}

}  // namespace

TEST(FrameRingProcess, StalledAndKilledReadersDoNotHoldTheWriterUpAndReadersSeeWholeFrames) {
  const std::wstring instance = UniqueInstanceName(L"ringproc");
  CFrameRingWriter writer;
  // Two slots: the writer is back on the slot a reader copies soonest.
  ASSERT_EQ(S_OK, writer.Open(instance.c_str(), 2));
  ASSERT_EQ(S_OK, writer.Reserve(LONG64{kSide} * kSide * 4));
  PublishFrames(writer, 10, 1);
  // A reader that never reads, and one that reads without pause until it is killed; being
  // almost always inside a copy, it dies in one and must leave nothing held.
  TestProcess holder, busyReader, verifier;
  ASSERT_TRUE(StartRingPeer(holder, instance, L"read " + instance + L" -1"));
  ASSERT_TRUE(busyReader.Start(L"fontis_ring_peer.exe", L"read " + instance + L" 0"));
  // A publish that waited for the dead or the stalled reader would never end.
  EXPECT_EQ(60, PublishFrames(writer, 60, 2));
  busyReader.Kill();
  EXPECT_EQ(60, PublishFrames(writer, 60, 1));
  // A reader process that checks every byte of 300 frames while the writer publishes without
  // pause.
  ASSERT_TRUE(verifier.Start(L"fontis_ring_peer.exe", L"read " + instance + L" 300"));
  int attempted = 0, published = 0;
  for (const ULONGLONG end = ::GetTickCount64() + 90000;
       verifier.Wait(0) == STILL_ACTIVE && ::GetTickCount64() < end; attempted += 10) {
    published += PublishFrames(writer, 10, 0);
  }
  EXPECT_EQ(attempted, published);
  EXPECT_EQ(0u, verifier.Wait(30000)) << "1: torn frame, 3: no ring, 4: too few frames, 259: still running";
}

TEST(FrameRingProcess, WriterKilledInTheMiddleOfAFrameLeavesNoTornFrame) {
  const std::wstring instance = UniqueInstanceName(L"ringproc");
  TestProcess writerProcess;
  ASSERT_TRUE(StartRingPeer(writerProcess, instance, L"write " + instance + L" 1920 1080"));
  CFrameRingReader reader;
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  ASSERT_EQ(S_OK, reader.ReadLatest(&pixels, &frame));  // maps the writer's pixels
  ASSERT_TRUE(WaitUntil([&] { return reader.LatestCounter() > 2; }, 30000));
  writerProcess.Kill();  // a publish of 8 MB is nearly always in progress
  // The reader holds the pixel mapping: it still gets the last whole frame, never the half one.
  ASSERT_EQ(S_OK, reader.ReadLatest(&pixels, &frame));
  EXPECT_TRUE(IsWholeTestFrame(frame, pixels.data(), pixels.size()));
  const LONG64 lastOfKilled = reader.LatestCounter();
  // The dead writer's lock is abandoned: the next writer takes over, empties the slots, repairs
  // one left half written and continues the counter.
  CFrameRingWriter next;
  ASSERT_EQ(S_OK, next.Open(instance.c_str()));
  EXPECT_EQ(S_FALSE, reader.ReadLatest(&pixels, &frame));
  EXPECT_EQ(lastOfKilled, reader.LatestCounter());
  ASSERT_EQ(S_OK, next.Reserve(1920LL * 1080 * 4));
  for (int i = 0; i < 4; ++i) {
    const LONG64 counter = PublishTestFrame(next, 1920, 1080);
    EXPECT_GT(counter, lastOfKilled);
    ASSERT_EQ(S_OK, reader.ReadLatest(&pixels, &frame));
    EXPECT_EQ(counter, frame.counter);
    EXPECT_TRUE(IsWholeTestFrame(frame, pixels.data(), pixels.size()));
  }
}
