// The frame ring within one process: what readers see across generations, refusals and a
// concurrent reader (a new writer taking over: FrameRingProcessTest.cpp).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "RingTestPattern.h"
#include "framering/CFrameRingReader.h"
#include "framering/CFrameRingWriter.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "support/TestProcess.h"

namespace {

LONG64 PublishTestFrame(CFrameRingWriter& writer, LONG width, LONG height) {
  const LONG64 counter = writer.NextCounter();
  std::vector<BYTE> pixels(static_cast<size_t>(width) * height * 4);
  FillTestFrame(counter, pixels.data(), pixels.size());
  LONG64 published = 0;
  EXPECT_EQ(S_OK, writer.Publish(TestFrameDescription(counter, width, height), pixels.data(), &published));
  EXPECT_EQ(counter, published);
  return counter;
}

// The newest frame is whole and carries this counter.
void ExpectLatest(CFrameRingReader& reader, LONG64 counter) {
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  ASSERT_EQ(S_OK, reader.ReadLatest(&pixels, &frame));
  EXPECT_EQ(counter, frame.counter);
  EXPECT_TRUE(IsWholeTestFrame(frame, pixels.data(), pixels.size()));
}

}  // namespace

TEST(FrameRing, ReaderSeesWholeFramesAcrossGenerations) {
  const std::wstring instance = UniqueInstanceName(L"ring");
  CFrameRingReader reader;
  EXPECT_EQ(CFrameRingReader::kErrNoRing, reader.Open(instance.c_str()));
  CFrameRingWriter writer;
  ASSERT_EQ(S_OK, writer.Open(instance.c_str()));
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  EXPECT_EQ(S_FALSE, reader.ReadLatest(&pixels, &frame)) << "nothing published yet";
  EXPECT_EQ(E_UNEXPECTED, writer.Publish(TestFrameDescription(1, 2, 2), nullptr)) << "no pixel mapping yet";
  ASSERT_EQ(S_OK, writer.Reserve(64LL * 48 * 4));
  for (int i = 0; i < 5; ++i) PublishTestFrame(writer, 64, 48);
  ExpectLatest(reader, 5);

  // A larger format cannot grow a mapping a reader holds: a new generation, old frames gone,
  // the counter runs on. A smaller one fits the slots there are.
  ASSERT_EQ(S_OK, writer.Reserve(640LL * 480 * 4));
  EXPECT_EQ(2, writer.Generation());
  EXPECT_EQ(S_FALSE, reader.ReadLatest(&pixels, &frame));
  EXPECT_EQ(5, reader.LatestCounter());
  EXPECT_EQ(6, PublishTestFrame(writer, 640, 480));
  ExpectLatest(reader, 6);
  ASSERT_EQ(S_OK, writer.Reserve(64LL * 48 * 4));
  EXPECT_EQ(2, writer.Generation());
  EXPECT_EQ(7, PublishTestFrame(writer, 64, 48));
  ExpectLatest(reader, 7);
}

TEST(FrameRing, RefusesWhatDoesNotFit) {
  const std::wstring instance = UniqueInstanceName(L"ring");
  CFrameRingWriter writer;
  EXPECT_EQ(E_INVALIDARG, writer.Open(std::wstring(240, L'x').c_str())) << "the pixel mapping names would not fit";
  ASSERT_EQ(S_OK, writer.Open(instance.c_str()));
  ASSERT_EQ(S_OK, writer.Reserve(1000));
  CFrameRingReader reader;
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  std::vector<BYTE> big(writer.SlotBytes() + 1);
  FrameRingFrame frame = TestFrameDescription(1, 1, 1);
  frame.bytes = static_cast<LONG>(big.size());
  EXPECT_EQ(E_INVALIDARG, writer.Publish(frame, big.data()));
  EXPECT_EQ(1, reader.Dropped());
  EXPECT_EQ(0, reader.LatestCounter());

  // A record of another layout under our name is never taken for ours.
  const std::wstring foreign = UniqueInstanceName(L"ring");
  WCHAR name[kNameCapacity];
  ASSERT_TRUE(ComposeObjectName(name, foreign.c_str(), kSuffixFrameRing));
  ScopedHandle mapping(CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, 4096, name));
  ScopedMappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_TRUE(view.IsValid());
  static_cast<LONG*>(view.Get())[0] = 0x12345678;
  CFrameRingWriter intruder;
  EXPECT_EQ(E_FAIL, intruder.Open(foreign.c_str()));
  CFrameRingReader confused;
  EXPECT_EQ(E_FAIL, confused.Open(foreign.c_str()));
}

TEST(FrameRing, ConcurrentReaderNeverSeesATornFrame) {
  const std::wstring instance = UniqueInstanceName(L"ring");
  constexpr LONG kSide = 256;
  CFrameRingWriter writer;
  ASSERT_EQ(S_OK, writer.Open(instance.c_str(), 2));  // two slots: the writer is back on a slot soonest
  ASSERT_EQ(S_OK, writer.Reserve(LONG64{kSide} * kSide * 4));
  std::atomic<bool> done{false};
  std::atomic<int> whole{0}, torn{0};
  std::thread readerThread([&] {
    CFrameRingReader reader;
    std::vector<BYTE> pixels;
    FrameRingFrame frame = {};
    if (FAILED(reader.Open(instance.c_str()))) return;
    while (!done.load()) {
      if (reader.ReadLatest(&pixels, &frame) != S_OK) continue;
      (IsWholeTestFrame(frame, pixels.data(), pixels.size()) ? whole : torn)++;
    }
  });
  // Until the reader has checked enough frames; the deadline only ends a reader that never runs.
  for (const ULONGLONG end = ::GetTickCount64() + 60000; whole.load() < 50 && ::GetTickCount64() < end;) {
    PublishTestFrame(writer, kSide, kSide);
  }
  done = true;
  readerThread.join();
  EXPECT_EQ(0, torn.load());
  EXPECT_GE(whole.load(), 50);
}
