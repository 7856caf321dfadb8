// The test camera's output pin: its profile's formats and the pattern of each frame.
#include "filters/testcam/CTestCamPin.h"

#include "filters/testcam/TestCamFaults.h"
#include "filters/testcam/TestCameraFormats.h"
#include "filters/testcam/TestPattern.h"

CTestCamPin::CTestCamPin(CBaseFilter* filter, const TestCameraProfile& profile, const wchar_t* name,
                         REFGUID category)
    : CCaptureSourcePin(filter, name, category), m_profile(profile) {}

CTestCamPin::~CTestCamPin() {
  // The graph stops a filter before releasing it; this only guards against a caller that did not.
  if (IsStreaming()) OnInactive();
}

size_t CTestCamPin::CapabilityCount() const { return m_profile.formatCount; }

HRESULT CTestCamPin::GetCapability(size_t index, CMediaType* type, VIDEO_STREAM_CONFIG_CAPS* caps) const {
  if (index >= m_profile.formatCount) return E_INVALIDARG;
  if (caps != nullptr) BuildTestCamStreamCaps(m_profile.formats[index], caps);
  return BuildTestCamMediaType(m_profile.formats[index], type);
}

bool CTestCamPin::FindCapability(const AM_MEDIA_TYPE& type, size_t* index) const {
  return FindTestCamFormat(m_profile, type, index);
}

ULONG CTestCamPin::CapsRecordSize() const { return m_profile.capsRecordSize; }

bool CTestCamPin::AnswersPinCategory() const { return m_profile.pinPropertySet; }

HRESULT CTestCamPin::CheckSetFormat(size_t index) {
  if (!m_profile.injectsFaults) return S_OK;
  return SizeFault(m_profile.formats[index].width, m_profile.formats[index].height);
}

HRESULT CTestCamPin::FillSample(IMediaSample* sample, uint32_t number) {
  TestFrameLayout layout = {};
  BYTE* data = nullptr;
  if (!TestFrameLayoutFromType(m_mt.Get(), &layout) || FAILED(sample->GetPointer(&data)) ||
      static_cast<size_t>(sample->GetSize()) < layout.imageSize) {
    return E_FAIL;
  }
  DrawTestFrame(layout, TestCameraIndexOf(m_profile), number, data);
  sample->SetActualDataLength(static_cast<long>(layout.imageSize));
  return S_OK;
}
