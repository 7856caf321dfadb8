// Output pin of the test camera: offers the profile's formats, answers IKsPropertySet when the
// profile has it, obeys the faulty camera's refused sizes, and draws the test pattern into each
// sample. Streaming, time stamps and threads are CCaptureSourcePin's.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "filters/base/CCaptureSourcePin.h"
#include "filters/testcam/TestCameraProfiles.h"

class CTestCamPin final : public CCaptureSourcePin {
 public:
  CTestCamPin(CBaseFilter* filter, const TestCameraProfile& profile, const wchar_t* name, REFGUID category);
  ~CTestCamPin() override;

 protected:
  size_t CapabilityCount() const override;
  HRESULT GetCapability(size_t index, CMediaType* type, VIDEO_STREAM_CONFIG_CAPS* caps) const override;
  bool FindCapability(const AM_MEDIA_TYPE& type, size_t* index) const override;
  ULONG CapsRecordSize() const override;
  bool AnswersPinCategory() const override;
  HRESULT CheckSetFormat(size_t index) override;
  HRESULT FillSample(IMediaSample* sample, uint32_t number) override;

 private:
  const TestCameraProfile& m_profile;
};
