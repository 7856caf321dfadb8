// The frame ring within one process: generations, refusals, one writer at a time, and records
// written by strangers (readers and writers in other processes: FrameRingProcessTest.cpp).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "RingTestPattern.h"
#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"
#include "framering/CFrameRingReader.h"
#include "framering/CFrameRingWriter.h"
#include "ipc/NamedObjects.h"
#include "ipc/ObjectNames.h"
#include "support/TestProcess.h"

namespace {

// The newest frame is whole and carries this counter.
void ExpectLatest(CFrameRingReader& reader, LONG64 counter) {
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  ASSERT_EQ(S_OK, reader.ReadLatest(&pixels, &frame));
  EXPECT_EQ(counter, frame.counter);
  EXPECT_TRUE(IsWholeTestFrame(frame, pixels.data(), pixels.size()));
}

// A read-write view of the instance's mapping of that suffix, as any process may make one (or
// open it, with 0 bytes).
struct StrangersMapping {
  StrangersMapping(const std::wstring& instance, const WCHAR* suffix, DWORD bytes) {
    WCHAR name[kNameCapacity];
    if (ComposeObjectName(name, instance.c_str(), suffix)) {
      mapping.Reset(bytes == 0 ? ::OpenFileMappingW(FILE_MAP_WRITE, FALSE, name)
                               : CreateOrOpenFileMapping(INVALID_HANDLE_VALUE, PAGE_READWRITE, 0, bytes, name));
    }
    if (mapping.IsValid()) view.Reset(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
  }
  FrameRingHeader* Header() const { return static_cast<FrameRingHeader*>(view.Get()); }
  ScopedHandle mapping;
  ScopedMappedView view;
};

}  // namespace

TEST(FrameRing, GenerationsRefusalsAndOneWriterAtATime) {
  // The longest instance name the host accepts serves a ring too; one more character is refused.
  std::wstring instance = UniqueInstanceName(L"ring");
  instance.resize(kMaxInstanceNameLength, L'x');
  CFrameRingWriter first, second;
  EXPECT_EQ(E_INVALIDARG, first.Open((instance + L"x").c_str()));
  CFrameRingReader reader;
  EXPECT_EQ(CFrameRingReader::kErrNoRing, reader.Open(instance.c_str()));
  // Opened on a thread that ends at once, as the renderer's application thread may: the writer
  // stays the ring's writer on the thread that publishes.
  std::thread([&] { EXPECT_EQ(S_OK, first.Open(instance.c_str())); }).join();
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  std::vector<BYTE> pixels;
  FrameRingFrame frame = {};
  EXPECT_EQ(S_FALSE, reader.ReadLatest(&pixels, &frame)) << "nothing published yet";
  EXPECT_EQ(E_UNEXPECTED, first.Publish(TestFrameDescription(1, 2, 2), nullptr)) << "no pixel mapping yet";
  ASSERT_EQ(S_OK, first.Reserve(64LL * 48 * 4));
  for (LONG64 i = 1; i <= 5; ++i) EXPECT_EQ(i, PublishTestFrame(first, 64, 48));
  std::vector<BYTE> big(first.SlotBytes() + 1);
  FrameRingFrame tooLarge = TestFrameDescription(6, 1, 1);
  tooLarge.bytes = static_cast<LONG>(big.size());
  EXPECT_EQ(E_INVALIDARG, first.Publish(tooLarge, big.data()));
  EXPECT_EQ(1, reader.Dropped());
  ExpectLatest(reader, 5);

  // A larger format cannot grow a mapping a reader holds: a new generation, old frames gone,
  // the counter runs on. A smaller one fits the slots there are.
  ASSERT_EQ(S_OK, first.Reserve(640LL * 480 * 4));
  EXPECT_EQ(2, first.Generation());
  EXPECT_EQ(S_FALSE, reader.ReadLatest(&pixels, &frame));
  EXPECT_EQ(6, PublishTestFrame(first, 640, 480));
  ExpectLatest(reader, 6);
  ASSERT_EQ(S_OK, first.Reserve(64LL * 48 * 4));
  EXPECT_EQ(2, first.Generation());
  EXPECT_EQ(7, PublishTestFrame(first, 64, 48));

  // A second writer is refused while the first lives and empties nothing; then it takes over.
  EXPECT_EQ(CFrameRingWriter::kErrRingTaken, second.Open(instance.c_str()));
  ExpectLatest(reader, 7);
  first.Close();
  ASSERT_EQ(S_OK, second.Open(instance.c_str()));
  ASSERT_EQ(S_OK, second.Reserve(64LL * 48 * 4));
  EXPECT_EQ(8, PublishTestFrame(second, 64, 48));
  ExpectLatest(reader, 8);
}

TEST(FrameRing, RecordsWrittenByStrangersGiveReadersErrorsNeverACrash) {
  const std::wstring instance = UniqueInstanceName(L"ring");
  CFrameRingWriter writer;
  ASSERT_EQ(S_OK, writer.Open(instance.c_str()));
  ASSERT_EQ(S_OK, writer.Reserve(64 * 48 * 4));
  EXPECT_EQ(1, PublishTestFrame(writer, 64, 48));
  StrangersMapping record(instance, kSuffixFrameRing, 0);  // anyone who can open it may write it
  ASSERT_TRUE(record.view.IsValid());
  FrameRingHeader* header = record.Header();
  const FrameRingHeader honest = *header;
  {
    CFrameRingReader reader;
    ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
    std::vector<BYTE> pixels;
    FrameRingFrame frame = {};
    constexpr HRESULT kCorrupt = CFrameRingReader::kErrRingCorrupt, kBusy = CFrameRingReader::kErrRingBusy;
    using H = FrameRingHeader&;
    const struct {
      const char* what;
      void (*lie)(H h);
      HRESULT expected;
    } cases[] = {
        {"slot index out of range", [](H h) { h.latestSlot = kFrameRingMaxSlots; }, kCorrupt},
        {"more bytes than the slot holds", [](H h) { h.slots[0].frame.bytes = h.slotBytes + 1; }, kCorrupt},
        {"slot sequence that stays odd", [](H h) { h.slots[0].sequence |= 1; }, kBusy},
        {"latest sequence that stays odd", [](H h) { h.latestSequence |= 1; }, kBusy},
        {"generation out of range", [](H h) { h.slots[0].generation = kFrameRingMaxGeneration + 1; }, S_FALSE},
        {"generation without a mapping", [](H h) { h.slots[0].generation = 7; }, S_FALSE},
    };
    for (const auto& c : cases) {
      c.lie(*header);
      EXPECT_EQ(c.expected, reader.ReadLatest(&pixels, &frame)) << c.what;
      if (header->latestSequence & 1) {
        EXPECT_FALSE(reader.PeekLatest(&frame)) << c.what;
      }
      *header = honest;
      ExpectLatest(reader, 1);  // and whole again once the record is
    }
    header->slotCount = kFrameRingMaxSlots + 1;
    CFrameRingReader late;
    EXPECT_EQ(E_FAIL, late.Open(instance.c_str())) << "a slot count beyond the header";
    *header = honest;
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

TEST(FrameRing, ForeignAndTinyMappingsUnderTheRingsNamesAreReadSafely) {
  const std::wstring instance = UniqueInstanceName(L"ring");
  // 16 bytes under the control name; the view still spans a page.
  StrangersMapping control(instance, kSuffixFrameRing, 16);
  ASSERT_TRUE(control.view.IsValid());
  CFrameRingReader reader;
  CFrameRingWriter writer;
  EXPECT_EQ(CFrameRingReader::kErrNoRing, reader.Open(instance.c_str())) << "no magic: not made yet";
  const LONG first[4] = {kFrameRingMagic, kFrameRingVersion, static_cast<LONG>(sizeof(FrameRingHeader)), 3};
  memcpy(control.view.Get(), first, sizeof(first));
  EXPECT_EQ(CFrameRingReader::kErrNoRing, reader.Open(instance.c_str())) << "no ring without the ring's event";
  {
    static_cast<LONG*>(control.view.Get())[0] = 0x12345678;
    CFrameRingWriter intruder;
    EXPECT_EQ(E_FAIL, intruder.Open(instance.c_str())) << "a record of another layout is never taken for ours";
    EXPECT_EQ(E_FAIL, reader.Open(instance.c_str()));
    memcpy(control.view.Get(), first, sizeof(first));
  }

  // A writer takes the small record over; a tiny mapping under generation 1's name is passed over.
  WCHAR suffix[32];
  FormatPixelSuffix(suffix, 1);
  StrangersMapping pixels(instance, suffix, 16);
  ASSERT_TRUE(pixels.mapping.IsValid());
  ASSERT_EQ(S_OK, writer.Open(instance.c_str()));
  ASSERT_EQ(S_OK, writer.Reserve(32 * 16 * 4));
  EXPECT_EQ(2, writer.Generation());
  EXPECT_EQ(1, PublishTestFrame(writer, 32, 16));
  ASSERT_EQ(S_OK, reader.Open(instance.c_str()));
  ExpectLatest(reader, 1);
  // Pointed at the tiny mapping, a reader reads no further than that mapping holds.
  control.Header()->slots[0].generation = 1;
  std::vector<BYTE> bytes;
  FrameRingFrame frame = {};
  EXPECT_EQ(CFrameRingReader::kErrRingCorrupt, reader.ReadLatest(&bytes, &frame));
}
