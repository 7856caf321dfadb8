// Faults that the "Fontis Test Camera Faulty" camera shows when a test asks for them: a test, in
// any process, creates the named record below and writes it; the camera reads it at the moment
// of the operation. Without the record (or with another magic) the camera behaves as camera 0.
// Every field is read and written with interlocked operations.
#pragma once

#include <windows.h>

#include <cstddef>

inline constexpr WCHAR kTestCamFaultsName[] = L"FontisTestCamFaults";
constexpr LONG kTestCamFaultsMagic = 0x54464346;  // "FCFT" in memory

struct TestCamFaults {
  LONG magic;
  LONG startFailures;       // this many starts (pause from stopped) fail, one consumed per start
  LONG startFailureResult;  // the HRESULT those starts return
  LONG startAttempts;       // every start, failed or not, counted by the camera
  LONG refusedWidth;        // SetFormat of a type of this width and |height| fails ...
  LONG refusedHeight;
  LONG refusedResult;       // ... with this HRESULT (no size is refused while it is 0)
  LONG reserved[9];
};

static_assert(sizeof(TestCamFaults) == 64, "TestCamFaults is 64 bytes");
static_assert(offsetof(TestCamFaults, magic) == 0, "magic");
static_assert(offsetof(TestCamFaults, startFailures) == 4, "startFailures");
static_assert(offsetof(TestCamFaults, startFailureResult) == 8, "startFailureResult");
static_assert(offsetof(TestCamFaults, startAttempts) == 12, "startAttempts");
static_assert(offsetof(TestCamFaults, refusedWidth) == 16, "refusedWidth");
static_assert(offsetof(TestCamFaults, refusedHeight) == 20, "refusedHeight");
static_assert(offsetof(TestCamFaults, refusedResult) == 24, "refusedResult");

// The camera's side. A start: S_OK, or the failure the record asks for (consuming one).
HRESULT TakeStartFault();
// SetFormat of a type of that size: S_OK, or the failure the record asks for.
HRESULT SizeFault(LONG width, LONG height);
