// The test camera: a live source filter with the pins of one TestCameraProfile.
// Threads: as CBaseFilter; the pins' streaming threads are described in CCaptureSourcePin.h.
#pragma once

#include <memory>
#include <vector>

#include "filters/base/CCaptureSourceFilter.h"
#include "filters/testcam/CTestCamPin.h"
#include "filters/testcam/TestCameraProfiles.h"

class CTestCamFilter final : public CCaptureSourceFilter {
 public:
  // Class factory entry point; `context` is the TestCameraProfile of the class.
  static HRESULT CreateInstance(const void* context, REFIID iid, void** object);

  // A start from Stopped fails when the camera injects faults and the test asked for it.
  STDMETHODIMP Pause() override;

  int GetPinCount() override;
  CBasePin* GetPin(int index) override;

 private:
  explicit CTestCamFilter(const TestCameraProfile& profile);
  ~CTestCamFilter() override;

  const TestCameraProfile& m_profile;
  std::vector<std::unique_ptr<CTestCamPin>> m_pins;
};
