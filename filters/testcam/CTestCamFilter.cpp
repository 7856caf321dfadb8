// The test camera filter: pins of its profile and the live-source state answer.
#include "filters/testcam/CTestCamFilter.h"

#include <uuids.h>

#include <new>

#include "common/ComReferences.h"
#include "filters/testcam/TestCamFaults.h"

HRESULT CTestCamFilter::CreateInstance(const void* context, REFIID iid, void** object) {
  if (context == nullptr) return E_UNEXPECTED;
  const auto& profile = *static_cast<const TestCameraProfile*>(context);
  return HandOutNewObject(new (std::nothrow) CTestCamFilter(profile), iid, object);
}

CTestCamFilter::CTestCamFilter(const TestCameraProfile& profile) : CCaptureSourceFilter(profile.clsid), m_profile(profile) {
  if (profile.previewPinFirst) {
    m_pins.push_back(std::make_unique<CTestCamPin>(this, profile, L"Preview", PIN_CATEGORY_PREVIEW));
  }
  m_pins.push_back(std::make_unique<CTestCamPin>(this, profile, L"Capture", PIN_CATEGORY_CAPTURE));
}

CTestCamFilter::~CTestCamFilter() = default;

STDMETHODIMP CTestCamFilter::Pause() {
  if (m_profile.injectsFaults && CurrentState() == State_Stopped) {
    const HRESULT fault = TakeStartFault();
    if (FAILED(fault)) return fault;
  }
  return CCaptureSourceFilter::Pause();
}

int CTestCamFilter::GetPinCount() { return static_cast<int>(m_pins.size()); }

CBasePin* CTestCamFilter::GetPin(int index) {
  if (index < 0 || static_cast<size_t>(index) >= m_pins.size()) return nullptr;
  return m_pins[static_cast<size_t>(index)].get();
}
