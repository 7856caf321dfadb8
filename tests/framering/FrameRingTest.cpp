// The frame ring within one process: what readers see across generations, refusals, one writer
// at a time, records written by strangers and a concurrent reader (writers and readers in other
// processes: FrameRingProcessTest.cpp).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "RingTestPattern.h"
#include "framering/CFrameRingReader.h"
#include "framering/CFrameRingWriter.h"
#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"
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
  // The longest instance name the host accepts serves a ring too; one more character is
  // refused here as it is there.
  std::wstring instance = UniqueInstanceName(L"ring");
  instance.resize(kMaxInstanceNameLength, L'x');
  CFrameRingWriter writer;
  EXPECT_EQ(E_INVALIDARG, writer.Open((instance + L"x").c_str())) << "names of the ring would not fit";
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
  EXPECT_EQ(1, PublishTestFrame(writer, 8, 8));
  ExpectLatest(reader, 1);

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

TEST(FrameRing, OneWriterAtATimeWhicheverThreadOpenedIt) {
  const std::wstring instance = UniqueInstanceName(L"ring");
  CFrameRingWriter first;
  // Opened on a thread that ends at once, as the renderer's application thread may: the writer
  // stays the ring's writer on the thread that publishes.
  std::thread([&] { EXPECT_EQ(S_OK, first.Open(instance.c_str())); }).join();
  ASSERT_EQ(S_OK, first.Reserve(16 * 16 * 4));
  EXPECT_EQ(1, PublishTestFrame(first, 16, 16));
  CFrameRingReader reader;
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));

  CFrameRingWriter second;
  EXPECT_EQ(CFrameRingWriter::kErrRingTaken, second.Open(instance.c_str()));
  ExpectLatest(reader, 1);  // the refused writer emptied nothing
  EXPECT_EQ(2, PublishTestFrame(first, 16, 16));
  first.Close();
  ASSERT_EQ(S_OK, second.Open(instance.c_str()));
  ASSERT_EQ(S_OK, second.Reserve(16 * 16 * 4));
  EXPECT_EQ(3, PublishTestFrame(second, 16, 16));
  ExpectLatest(reader, 3);
}

TEST(FrameRing, ARecordWrittenByAStrangerGivesReadersErrorsAndTheNextWriterAFreshStart) {
  const std::wstring instance = UniqueInstanceName(L"ring");
  WCHAR controlName[kNameCapacity];
  ASSERT_TRUE(ComposeObjectName(controlName, instance.c_str(), kSuffixFrameRing));
  CFrameRingWriter writer;
  ASSERT_EQ(S_OK, writer.Open(instance.c_str()));
  ASSERT_EQ(S_OK, writer.Reserve(64 * 48 * 4));
  EXPECT_EQ(1, PublishTestFrame(writer, 64, 48));
  // Anyone who can open the record may write it.
  ScopedHandle mapping(::OpenFileMappingW(FILE_MAP_WRITE, FALSE, controlName));
  ScopedMappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_TRUE(view.IsValid());
  FrameRingHeader* header = static_cast<FrameRingHeader*>(view.Get());
  FrameRingSlot& slot = header->slots[0];
  {
    CFrameRingReader reader;
    ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
    ExpectLatest(reader, 1);
    std::vector<BYTE> pixels;
    FrameRingFrame frame = {};
    const struct {
      const char* what;
      LONG* field;
      LONG64* wide;
      LONG64 value;
      HRESULT expected;
    } cases[] = {
        {"slot index out of range", &header->latestSlot, nullptr, kFrameRingMaxSlots, CFrameRingReader::kErrRingCorrupt},
        {"negative slot index", &header->latestSlot, nullptr, -7, CFrameRingReader::kErrRingCorrupt},
        {"more bytes than the slot holds", &slot.frame.bytes, nullptr, writer.SlotBytes() + 1,
         CFrameRingReader::kErrRingCorrupt},
        {"negative byte count", &slot.frame.bytes, nullptr, -1, CFrameRingReader::kErrRingCorrupt},
        {"slot sequence that stays odd", nullptr, &slot.sequence, slot.sequence + 1, CFrameRingReader::kErrRingBusy},
        {"latest sequence that stays odd", nullptr, &header->latestSequence, header->latestSequence + 1,
         CFrameRingReader::kErrRingBusy},
        {"generation out of range", &slot.generation, nullptr, kFrameRingMaxGeneration + 1, S_FALSE},
        {"generation without a mapping", &slot.generation, nullptr, 7, S_FALSE},
    };
    for (const auto& c : cases) {
      if (c.field != nullptr) {
        const LONG kept = *c.field;
        *c.field = static_cast<LONG>(c.value);
        EXPECT_EQ(c.expected, reader.ReadLatest(&pixels, &frame)) << c.what;
        *c.field = kept;
      } else {
        const LONG64 kept = *c.wide;
        *c.wide = c.value;
        EXPECT_EQ(c.expected, reader.ReadLatest(&pixels, &frame)) << c.what;
        if (c.wide == &header->latestSequence) {
          EXPECT_FALSE(reader.PeekLatest(&frame)) << c.what;
        }
        *c.wide = kept;
      }
      ExpectLatest(reader, 1);  // and whole again once the record is
    }
    header->slotCount = kFrameRingMaxSlots + 1;
    CFrameRingReader late;
    EXPECT_EQ(E_FAIL, late.Open(instance.c_str())) << "a slot count beyond the header";
    header->slotCount = kFrameRingDefaultSlots;
  }
  // A generation and a counter nobody could have reached are not continued.
  header->generation = MAXLONG;
  header->latest.counter = -5;
  writer.Close();
  CFrameRingWriter next;
  ASSERT_EQ(S_OK, next.Open(instance.c_str()));
  EXPECT_EQ(1, next.NextCounter());
  ASSERT_EQ(S_OK, next.Reserve(64 * 48 * 4));
  EXPECT_EQ(1, next.Generation());
}

TEST(FrameRing, TinyForeignMappingsUnderTheRingsNamesAreReadSafely) {
  const std::wstring instance = UniqueInstanceName(L"ring");
  WCHAR controlName[kNameCapacity], pixelName[kNameCapacity], suffix[32];
  ASSERT_TRUE(ComposeObjectName(controlName, instance.c_str(), kSuffixFrameRing));
  FormatPixelSuffix(suffix, 1);
  ASSERT_TRUE(ComposeObjectName(pixelName, instance.c_str(), suffix));
  // 16 bytes under the control name, holding a header's first fields and nothing more.
  ScopedHandle control(CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, 16, controlName));
  ScopedMappedView controlView(::MapViewOfFile(control.Get(), FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_TRUE(controlView.IsValid());
  CFrameRingReader reader;
  EXPECT_EQ(CFrameRingReader::kErrNoRing, reader.Open(instance.c_str())) << "no magic: not made yet";
  const LONG first[4] = {kFrameRingMagic, kFrameRingVersion, static_cast<LONG>(sizeof(FrameRingHeader)), 3};
  memcpy(controlView.Get(), first, sizeof(first));
  // Without the ring's event the record is no ring either.
  EXPECT_EQ(CFrameRingReader::kErrNoRing, reader.Open(instance.c_str()));

  // A writer takes the small record over; a tiny mapping under generation 1's name is passed over.
  ScopedHandle pixels(CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, 16, pixelName));
  ASSERT_TRUE(pixels.IsValid());
  CFrameRingWriter writer;
  ASSERT_EQ(S_OK, writer.Open(instance.c_str()));
  ASSERT_EQ(S_OK, writer.Reserve(32 * 16 * 4));
  EXPECT_EQ(2, writer.Generation());
  EXPECT_EQ(1, PublishTestFrame(writer, 32, 16));
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  ExpectLatest(reader, 1);
  // Pointed at the tiny mapping, a reader reads no further than that mapping holds.
  FrameRingHeader* header = static_cast<FrameRingHeader*>(controlView.Get());
  header->slots[0].generation = 1;
  std::vector<BYTE> bytes;
  FrameRingFrame frame = {};
  EXPECT_EQ(CFrameRingReader::kErrRingCorrupt, reader.ReadLatest(&bytes, &frame));
}
