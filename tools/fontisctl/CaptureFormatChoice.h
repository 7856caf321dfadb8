// Which of a device's capabilities `fontisctl capture` asks for: plain functions over plain
// structs, any thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

struct CaptureRequest {
  LONG width = 0;                 // 0: any size; otherwise with height
  LONG height = 0;                // compared with |biHeight|
  const GUID* subtype = nullptr;  // null: any subtype
};

// One capability as the device handed it out.
struct OfferedFormat {
  GUID subtype;
  LONG width;
  LONG height;    // |biHeight|
  bool readable;  // the device handed out a type whose frames this tool can read
};

constexpr size_t kNoCaptureFormat = SIZE_MAX;

// The first readable capability of the subtype and size asked for, in the device's order;
// kNoCaptureFormat when there is none.
size_t ChooseCaptureFormat(const CaptureRequest& request, const OfferedFormat* offers, size_t count);
