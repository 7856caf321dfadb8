// Helpers shared by the frame ring's writer and readers.
#include "FrameRing.h"

#include <cwchar>

void FormatPixelSuffix(WCHAR (&out)[32], LONG generation) {
  swprintf(out, 32, L"%ls%ld", kPixelSuffixPrefix, static_cast<long>(generation));
}

LONG64 RingClockNow() {
  static const LONG64 frequency = [] {
    LARGE_INTEGER value;
    ::QueryPerformanceFrequency(&value);
    return value.QuadPart;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  // Split to keep the product in range for any counter frequency.
  return (now.QuadPart / frequency) * 10000000LL + (now.QuadPart % frequency) * 10000000LL / frequency;
}

void RingStoreFrame(FrameRingFrame* target, const FrameRingFrame& source) {
  RingStore(&target->counter, source.counter);
  RingStore(&target->timestamp, source.timestamp);
  RingStore(&target->arrival, source.arrival);
  RingStore(&target->width, source.width);
  RingStore(&target->height, source.height);
  RingStore(&target->subtype, source.subtype);
  RingStore(&target->stride, source.stride);
  RingStore(&target->bytes, source.bytes);
  RingStore(&target->flags, source.flags);
}

void RingLoadFrame(const FrameRingFrame* source, FrameRingFrame* out) {
  out->counter = RingLoad(&source->counter);
  out->timestamp = RingLoad(&source->timestamp);
  out->arrival = RingLoad(&source->arrival);
  out->width = RingLoad(&source->width);
  out->height = RingLoad(&source->height);
  out->subtype = RingLoad(&source->subtype);
  out->stride = RingLoad(&source->stride);
  out->bytes = RingLoad(&source->bytes);
  out->flags = RingLoad(&source->flags);
}
