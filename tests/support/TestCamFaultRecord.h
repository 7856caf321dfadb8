// A test's side of the faulty test camera's record: creates "FontisTestCamFaults" for as long as
// the object lives (any process's faulty camera then obeys it) and sets the faults asked for.
#pragma once

#include <windows.h>

#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"
#include "filters/testcam/TestCamFaults.h"

class TestCamFaultRecord {
 public:
  TestCamFaultRecord();
  TestCamFaultRecord(const TestCamFaultRecord&) = delete;
  TestCamFaultRecord& operator=(const TestCamFaultRecord&) = delete;

  bool IsValid() const { return m_faults != nullptr; }
  // The next `count` starts of a faulty camera fail with `result`.
  void FailStarts(LONG count, HRESULT result);
  // SetFormat of a capability of this size fails with `result` (0 refuses nothing).
  void RefuseSize(LONG width, LONG height, HRESULT result);
  LONG StartAttempts() const;

 private:
  ScopedHandle m_mapping;
  ScopedMappedView m_view;
  TestCamFaults* m_faults = nullptr;
};
