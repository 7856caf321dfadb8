// Frames whose every byte derives from their counter, and the check of such a frame: a frame
// made of two writes (torn) or described by another frame's fields fails the check.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "capture/FrameRing.h"

constexpr LONG64 kTestFrameInterval = 333333;  // 30 fps in 100 ns units

inline uint64_t PatternWord(LONG64 counter, size_t index) {
  return static_cast<uint64_t>(counter) * 0x9E3779B97F4A7C15ull + index * 0x100000001B3ull;
}

inline void FillTestFrame(LONG64 counter, BYTE* data, size_t size) {
  const size_t words = size / 8;
  for (size_t i = 0; i < words; ++i) {
    const uint64_t word = PatternWord(counter, i);
    memcpy(data + i * 8, &word, 8);
  }
  for (size_t i = words * 8; i < size; ++i) data[i] = static_cast<BYTE>(counter + i);
}

inline bool CheckTestFrame(LONG64 counter, const BYTE* data, size_t size) {
  const size_t words = size / 8;
  for (size_t i = 0; i < words; ++i) {
    uint64_t word;
    memcpy(&word, data + i * 8, 8);
    if (word != PatternWord(counter, i)) return false;
  }
  for (size_t i = words * 8; i < size; ++i) {
    if (data[i] != static_cast<BYTE>(counter + i)) return false;
  }
  return true;
}

// A BGRX description of `bytes` bytes for counter; the time stamp derives from the counter too.
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
  return frame.counter > 0 && frame.timestamp == frame.counter * kTestFrameInterval &&
         static_cast<size_t>(frame.bytes) == size && frame.stride == frame.width * 4 &&
         static_cast<LONG64>(frame.bytes) == static_cast<LONG64>(frame.width) * frame.height * 4 &&
         CheckTestFrame(frame.counter, data, size);
}
