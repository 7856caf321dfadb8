// The frame ring: the shared record through which the capture renderer hands every frame to the
// virtual camera's clients. One writer (the renderer), any number of readers in other processes.
//
// Objects of an instance "X":
//   "X_FONTIS_FRAMES"        control mapping, kFrameRingControlBytes: FrameRingHeader below
//   "X_FONTIS_FRAMES_G<n>"   pixel mapping of generation n: slotCount slots of slotBytes each
//   "X_FONTIS_FRAME_EV"      manual-reset event, pulsed (set, then reset) after each new frame
// A pixel mapping cannot grow while a reader holds it, so a larger format gets a new generation
// under a new name; readers follow the generation written next to each slot.
//
// Protocol (seqlock per slot, no lock shared with readers, so the writer never waits):
//   writer: sequence += 1 (odd) -> fields and pixels -> sequence += 1 (even) -> latest block
//           (its own seqlock) -> pulse the event.
//   reader: s1 = sequence (retry when odd) -> copy fields and pixels -> s2 = sequence; the copy
//           is whole exactly when s1 == s2.
// Every field of the control mapping is read and written with interlocked operations, which is
// why readers map it for writing too (a locked compare-exchange writes even when it loads).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

inline constexpr WCHAR kSuffixFrameRing[] = L"FONTIS_FRAMES";
inline constexpr WCHAR kSuffixFrameEvent[] = L"FONTIS_FRAME_EV";

constexpr LONG kFrameRingMagic = 0x47525446;  // "FTRG" in memory
constexpr LONG kFrameRingVersion = 1;
constexpr LONG kFrameRingMaxSlots = 8;
constexpr LONG kFrameRingDefaultSlots = 3;
constexpr DWORD kFrameRingControlBytes = 4096;
// A slot never exceeds this: 8192 x 4096 x 4 bytes; larger formats are refused earlier.
constexpr LONG64 kFrameRingMaxSlotBytes = 128LL * 1024 * 1024;

// Pixel layouts. RGB is stored as the renderer received it, blue first; bottom-up rows are
// marked by kFrameFlagBottomUp.
constexpr LONG MakeFourcc(char a, char b, char c, char d) {
  return static_cast<LONG>(static_cast<uint32_t>(static_cast<uint8_t>(a)) |
                           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
                           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
                           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24));
}
constexpr LONG kFourccBgr24 = MakeFourcc('B', 'G', 'R', '3');  // B, G, R per pixel
constexpr LONG kFourccBgrx32 = MakeFourcc('B', 'G', 'R', '4');  // B, G, R, unused per pixel
constexpr LONG kFourccYuy2 = MakeFourcc('Y', 'U', 'Y', '2');
constexpr LONG kFourccNv12 = MakeFourcc('N', 'V', '1', '2');

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

// Interlocked access to the control mapping's fields. A load is a compare-exchange that never
// changes the value: a full barrier on every platform, unlike a volatile read.
inline LONG RingLoad(LONG* field) { return ::InterlockedCompareExchange(field, 0, 0); }
inline LONG64 RingLoad(LONG64* field) { return ::InterlockedCompareExchange64(field, 0, 0); }
inline void RingStore(LONG* field, LONG value) { ::InterlockedExchange(field, value); }
inline void RingStore(LONG64* field, LONG64 value) { ::InterlockedExchange64(field, value); }

// A frame description field by field, each through the interlocked helpers.
void RingStoreFrame(FrameRingFrame* target, const FrameRingFrame& source);
void RingLoadFrame(FrameRingFrame* source, FrameRingFrame* out);

// Name of generation n's pixel mapping suffix ("FONTIS_FRAMES_G<n>"), to compose with the
// instance name under the usual "%s_%s" rule.
void FormatPixelSuffix(WCHAR (&out)[32], LONG generation);

// The performance counter in 100 ns units: comparable between processes of one machine.
LONG64 RingClockNow();
