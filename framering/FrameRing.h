// The frame ring: the shared record through which the capture renderer hands every frame to the
// virtual camera's clients. One writer (the renderer), any number of readers in other processes.
//
// Objects of an instance "X":
//   "X_FONTIS_FRAMES"        control mapping, kFrameRingControlBytes: FrameRingHeader below
//   "X_FONTIS_FRAMES_G<n>"   pixel mapping of generation n: slotCount slots of slotBytes each
//   "X_FONTIS_FRAME_EV"      manual-reset event, pulsed (set, then reset) after each new frame
//   "X_FONTIS_FRAMES_MX"     mutex the one writer owns for its whole life; abandoned when it died
// A pixel mapping cannot grow while a reader holds it, so a larger format gets a new generation
// under a new name; readers follow the generation written next to each slot. Every suffix fits
// the longest instance name the host accepts (kMaxInstanceNameLength).
//
// Protocol (seqlock per slot, no lock shared with readers, so the writer never waits):
//   writer: sequence += 1 (odd) -> fields and pixels -> sequence += 1 (even) -> latest block
//           (its own seqlock) -> pulse the event.
//   reader: s1 = sequence (retry when odd) -> copy fields and pixels -> s2 = sequence; the copy
//           is whole exactly when s1 == s2.
// The writer stores with interlocked operations. Readers map everything read-only and load with
// acquire loads, so that nothing a reader does can change what another reader sees; whatever
// they find may have been written by anyone and is range-checked before it is used.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

#include "common/VideoGuids.h"
#include "ipc/ObjectNames.h"

inline constexpr WCHAR kSuffixFrameRing[] = L"FONTIS_FRAMES";
inline constexpr WCHAR kSuffixFrameEvent[] = L"FONTIS_FRAME_EV";
inline constexpr WCHAR kSuffixFrameWriter[] = L"FONTIS_FRAMES_MX";
inline constexpr WCHAR kPixelSuffixPrefix[] = L"FONTIS_FRAMES_G";

constexpr LONG kFrameRingMagic = 0x47525446;  // "FTRG" in memory
constexpr LONG kFrameRingVersion = 1;
constexpr LONG kFrameRingMaxSlots = 8;
constexpr LONG kFrameRingDefaultSlots = 3;
constexpr DWORD kFrameRingControlBytes = 4096;
// A slot never exceeds this: 8192 x 4096 x 4 bytes; larger formats are refused earlier.
constexpr LONG64 kFrameRingMaxSlotBytes = 128LL * 1024 * 1024;
// Generations run 1..kFrameRingMaxGeneration and then start again at 1 (eight digits keep the
// pixel mapping's suffix as short as the host's longest); a name still held by a reader of an
// earlier round is passed over like any other taken name.
constexpr LONG kFrameRingMaxGeneration = 99999999;
// Frame counters beyond this, read from a record someone else wrote, are not continued.
constexpr LONG64 kFrameRingMaxCounter = 0x3FFFFFFFFFFFFFFFLL;

static_assert(sizeof(kPixelSuffixPrefix) / sizeof(WCHAR) - 1 + 8 <= kLongestSuffixLength &&
                  sizeof(kSuffixFrameWriter) / sizeof(WCHAR) - 1 <= kLongestSuffixLength &&
                  sizeof(kSuffixFrameEvent) / sizeof(WCHAR) - 1 <= kLongestSuffixLength,
              "every name of the ring fits an instance name the host accepts");

// Pixel layouts. RGB is stored as the renderer received it, blue first; bottom-up rows are
// marked by kFrameFlagBottomUp.
constexpr LONG kFourccBgr24 = static_cast<LONG>(MakeFourcc('B', 'G', 'R', '3'));  // B, G, R per pixel
constexpr LONG kFourccBgrx32 = static_cast<LONG>(MakeFourcc('B', 'G', 'R', '4'));  // B, G, R, unused per pixel
constexpr LONG kFourccYuy2 = static_cast<LONG>(MakeFourcc('Y', 'U', 'Y', '2'));
constexpr LONG kFourccNv12 = static_cast<LONG>(MakeFourcc('N', 'V', '1', '2'));

constexpr LONG kFrameFlagBottomUp = 1;  // the first row in memory is the bottom one

// What describes one frame; carried per slot and, for the newest frame, in the header.
struct FrameRingFrame {
  LONG64 counter;     // 1 for the first frame the writer ever published under this name; 0 = none
  LONG64 timestamp;   // sample start time in 100 ns units of the stream, 0 when the sample had none
  LONG64 arrival;     // when the renderer received it: QueryPerformanceCounter in 100 ns units
  LONG width;
  LONG height;        // always positive; see flags
  LONG subtype;       // one of the kFourcc values
  LONG stride;        // bytes per row of the first plane (NV12: the chroma plane follows, same stride)
  LONG bytes;         // bytes of pixels in the slot
  LONG flags;         // kFrameFlag values
};

struct FrameRingSlot {
  LONG64 sequence;    // seqlock: odd while the writer fills the slot
  LONG generation;    // pixel mapping that holds this slot's bytes
  LONG reserved0;
  FrameRingFrame frame;
  LONG64 reserved[2];
};

struct FrameRingHeader {
  LONG magic;
  LONG version;
  LONG headerSize;        // sizeof(FrameRingHeader) as the writer knows it
  LONG slotCount;
  LONG generation;        // current pixel mapping; 0 until the writer has sized one
  LONG slotBytes;         // capacity of one slot in the current pixel mapping
  LONG64 pixelBytes;      // size of the current pixel mapping
  LONG writerProcessId;
  LONG option;            // last value the host passed to the renderer's SetOption
  LONG64 framesDropped;   // samples the writer could not publish (too short, too large)
  LONG64 latestSequence;  // seqlock over latestSlot and latest
  LONG latestSlot;        // slot of the newest frame, -1 before the first
  LONG reserved0;
  FrameRingFrame latest;
  LONG64 reserved[4];
  FrameRingSlot slots[kFrameRingMaxSlots];
};

static_assert(sizeof(LONG) == 4 && sizeof(LONG64) == 8, "fixed-width fields");
static_assert(sizeof(FrameRingFrame) == 48, "FrameRingFrame is 48 bytes");
static_assert(offsetof(FrameRingFrame, counter) == 0, "counter");
static_assert(offsetof(FrameRingFrame, timestamp) == 8, "timestamp");
static_assert(offsetof(FrameRingFrame, arrival) == 16, "arrival");
static_assert(offsetof(FrameRingFrame, width) == 24, "width");
static_assert(offsetof(FrameRingFrame, height) == 28, "height");
static_assert(offsetof(FrameRingFrame, subtype) == 32, "subtype");
static_assert(offsetof(FrameRingFrame, stride) == 36, "stride");
static_assert(offsetof(FrameRingFrame, bytes) == 40, "bytes");
static_assert(offsetof(FrameRingFrame, flags) == 44, "flags");

static_assert(sizeof(FrameRingSlot) == 80, "FrameRingSlot is 80 bytes");
static_assert(offsetof(FrameRingSlot, sequence) == 0, "slot sequence");
static_assert(offsetof(FrameRingSlot, generation) == 8, "slot generation");
static_assert(offsetof(FrameRingSlot, reserved0) == 12, "slot reserved0");
static_assert(offsetof(FrameRingSlot, frame) == 16, "slot frame");
static_assert(offsetof(FrameRingSlot, reserved) == 64, "slot reserved");

static_assert(offsetof(FrameRingHeader, magic) == 0, "magic");
static_assert(offsetof(FrameRingHeader, version) == 4, "version");
static_assert(offsetof(FrameRingHeader, headerSize) == 8, "headerSize");
static_assert(offsetof(FrameRingHeader, slotCount) == 12, "slotCount");
static_assert(offsetof(FrameRingHeader, generation) == 16, "generation");
static_assert(offsetof(FrameRingHeader, slotBytes) == 20, "slotBytes");
static_assert(offsetof(FrameRingHeader, pixelBytes) == 24, "pixelBytes");
static_assert(offsetof(FrameRingHeader, writerProcessId) == 32, "writerProcessId");
static_assert(offsetof(FrameRingHeader, option) == 36, "option");
static_assert(offsetof(FrameRingHeader, framesDropped) == 40, "framesDropped");
static_assert(offsetof(FrameRingHeader, latestSequence) == 48, "latestSequence");
static_assert(offsetof(FrameRingHeader, latestSlot) == 56, "latestSlot");
static_assert(offsetof(FrameRingHeader, reserved0) == 60, "reserved0");
static_assert(offsetof(FrameRingHeader, latest) == 64, "latest");
static_assert(offsetof(FrameRingHeader, reserved) == 112, "reserved");
static_assert(offsetof(FrameRingHeader, slots) == 144, "slots");
static_assert(sizeof(FrameRingHeader) == 144 + 8 * 80, "FrameRingHeader is 784 bytes");
static_assert(sizeof(FrameRingHeader) <= kFrameRingControlBytes, "header fits the control mapping");
static_assert(offsetof(FrameRingHeader, slots) % 8 == 0 && sizeof(FrameRingSlot) % 8 == 0,
              "64-bit fields stay 8-byte aligned for the interlocked operations");

// Acquire loads: nothing later is read before them, and they never write, so they work on a
// read-only view (a locked compare-exchange would fault there).
template <class Field>
inline Field RingLoad(const Field* field) {
  static_assert(sizeof(Field) == 4 || sizeof(Field) == 8, "the ring has 32- and 64-bit fields");
#if defined(_MSC_VER) && !defined(__clang__)
  Field value;
  if constexpr (sizeof(Field) == 4) {
    value = static_cast<Field>(__iso_volatile_load32(reinterpret_cast<const volatile __int32*>(field)));
  } else {
    value = static_cast<Field>(__iso_volatile_load64(reinterpret_cast<const volatile __int64*>(field)));
  }
  std::atomic_thread_fence(std::memory_order_acquire);
  return value;
#else
  return __atomic_load_n(field, __ATOMIC_ACQUIRE);
#endif
}

// The writer's stores: full barriers.
inline void RingStore(LONG* field, LONG value) { ::InterlockedExchange(field, value); }
inline void RingStore(LONG64* field, LONG64 value) { ::InterlockedExchange64(field, value); }

// A reader's seqlock check: the copy made since `before` was read is whole when the sequence
// still holds it. The fence keeps every read of the copy ahead of the second load.
inline bool RingUnchanged(const LONG64* sequence, LONG64 before) {
  std::atomic_thread_fence(std::memory_order_acquire);
  return RingLoad(sequence) == before;
}

// A frame description field by field, each through the helpers above.
void RingStoreFrame(FrameRingFrame* target, const FrameRingFrame& source);
void RingLoadFrame(const FrameRingFrame* source, FrameRingFrame* out);

// A generation a reader may map: 1..kFrameRingMaxGeneration.
inline bool IsRingGeneration(LONG generation) { return generation >= 1 && generation <= kFrameRingMaxGeneration; }
// The generation after current, which may come from a record someone else wrote: anything out
// of range starts again at 1.
inline LONG NextRingGeneration(LONG current) {
  return current >= 1 && current < kFrameRingMaxGeneration ? current + 1 : 1;
}

// Name of generation n's pixel mapping suffix ("FONTIS_FRAMES_G<n>"), to compose with the
// instance name under the usual "%s_%s" rule.
void FormatPixelSuffix(WCHAR (&out)[32], LONG generation);

// The performance counter in 100 ns units: comparable between processes of one machine.
LONG64 RingClockNow();
