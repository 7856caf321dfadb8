// The camera's reading of the fault record.
#include "filters/testcam/TestCamFaults.h"

#include "common/ScopedHandle.h"
#include "common/ScopedMappedView.h"

namespace {

// The record of the moment, or null when no test made one.
class FaultRecord {
 public:
  FaultRecord()
      : m_mapping(::OpenFileMappingW(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kTestCamFaultsName)),
        m_view(m_mapping.IsValid() ? ::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0,
                                                     sizeof(TestCamFaults))
                                   : nullptr) {}

  TestCamFaults* Get() const {
    auto* faults = static_cast<TestCamFaults*>(m_view.Get());
    if (faults == nullptr || ::InterlockedCompareExchange(&faults->magic, 0, 0) != kTestCamFaultsMagic) return nullptr;
    return faults;
  }

 private:
  ScopedHandle m_mapping;
  ScopedMappedView m_view;
};

LONG Load(LONG* field) { return ::InterlockedCompareExchange(field, 0, 0); }

}  // namespace

HRESULT TakeStartFault() {
  FaultRecord record;
  TestCamFaults* faults = record.Get();
  if (faults == nullptr) return S_OK;
  ::InterlockedIncrement(&faults->startAttempts);
  // Take one failure only while one is left, even with several cameras starting at once.
  for (LONG left = Load(&faults->startFailures); left > 0; left = Load(&faults->startFailures)) {
    if (::InterlockedCompareExchange(&faults->startFailures, left - 1, left) == left) {
      return static_cast<HRESULT>(Load(&faults->startFailureResult));
    }
  }
  return S_OK;
}

HRESULT SizeFault(LONG width, LONG height) {
  FaultRecord record;
  TestCamFaults* faults = record.Get();
  if (faults == nullptr) return S_OK;
  const HRESULT refused = static_cast<HRESULT>(Load(&faults->refusedResult));
  if (refused == 0) return S_OK;
  if (width != Load(&faults->refusedWidth) || (height < 0 ? -height : height) != Load(&faults->refusedHeight)) {
    return S_OK;
  }
  return refused;
}
