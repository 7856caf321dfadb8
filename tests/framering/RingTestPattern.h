// Frames whose every byte derives from their counter, and the check of such a frame: a frame
// made of two writes (torn) or described by another frame's fields fails the check.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "framering/CFrameRingWriter.h"
#include "framering/FrameRing.h"

constexpr LONG64 kTestFrameInterval = 333333;  // 30 fps in 100 ns units

// Sizes are whole 64-bit words (BGRX frames of an even width).
inline uint64_t PatternWord(LONG64 counter, size_t index) {
  return static_cast<uint64_t>(counter) * 0x9E3779B97F4A7C15ull + index * 0x100000001B3ull;
}

inline void FillTestFrame(LONG64 counter, BYTE* data, size_t size) {
  for (size_t i = 0; i < size / 8; ++i) {
    const uint64_t word = PatternWord(counter, i);
    memcpy(data + i * 8, &word, 8);
  }
}

// A BGRX description of a width x height frame for counter; the time stamp derives from it.
inline FrameRingFrame TestFrameDescription(LONG64 counter, LONG width, LONG height) {
  FrameRingFrame frame = {};
  frame.timestamp = counter * kTestFrameInterval;
  frame.arrival = RingClockNow();
  frame.width = width;
  frame.height = height;
  frame.subtype = kFourccBgrx32;
  frame.stride = width * 4;
  frame.bytes = width * height * 4;
  return frame;
}

// The description matches the counter it carries and the pixels match both.
inline bool IsWholeTestFrame(const FrameRingFrame& frame, const BYTE* data, size_t size) {
  if (frame.counter <= 0 || frame.timestamp != frame.counter * kTestFrameInterval || frame.stride != frame.width * 4 ||
      static_cast<size_t>(frame.bytes) != size || static_cast<LONG64>(size) != LONG64{frame.width} * frame.height * 4) {
    return false;
  }
  for (size_t i = 0; i < size / 8; ++i) {
    uint64_t word;
    memcpy(&word, data + i * 8, 8);
    if (word != PatternWord(frame.counter, i)) return false;
  }
  return true;
}

// Publishes the writer's next frame, width x height; its counter, or 0 when it was not published.
inline LONG64 PublishTestFrame(CFrameRingWriter& writer, LONG width, LONG height) {
  const LONG64 counter = writer.NextCounter();
  std::vector<BYTE> pixels(static_cast<size_t>(width) * height * 4);
  FillTestFrame(counter, pixels.data(), pixels.size());
  LONG64 published = 0;
  const HRESULT hr = writer.Publish(TestFrameDescription(counter, width, height), pixels.data(), &published);
  return hr == S_OK && published == counter ? counter : 0;
}
