#include "support/TestCamFaultRecord.h"

TestCamFaultRecord::TestCamFaultRecord()
    : m_mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TestCamFaults),
                                     kTestCamFaultsName)) {
  if (!m_mapping.IsValid()) return;
  m_view.Reset(::MapViewOfFile(m_mapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(TestCamFaults)));
  m_faults = static_cast<TestCamFaults*>(m_view.Get());
  if (m_faults == nullptr) return;
  // A record left by an earlier test of this program starts over.
  ::InterlockedExchange(&m_faults->startFailures, 0);
  ::InterlockedExchange(&m_faults->startAttempts, 0);
  ::InterlockedExchange(&m_faults->refusedResult, 0);
  ::InterlockedExchange(&m_faults->magic, kTestCamFaultsMagic);
}

void TestCamFaultRecord::FailStarts(LONG count, HRESULT result) {
  if (m_faults == nullptr) return;
  ::InterlockedExchange(&m_faults->startFailureResult, static_cast<LONG>(result));
  ::InterlockedExchange(&m_faults->startFailures, count);
}

void TestCamFaultRecord::RefuseSize(LONG width, LONG height, HRESULT result) {
  if (m_faults == nullptr) return;
  ::InterlockedExchange(&m_faults->refusedWidth, width);
  ::InterlockedExchange(&m_faults->refusedHeight, height);
  ::InterlockedExchange(&m_faults->refusedResult, static_cast<LONG>(result));
}

LONG TestCamFaultRecord::StartAttempts() const {
  return m_faults == nullptr ? 0 : ::InterlockedCompareExchange(&m_faults->startAttempts, 0, 0);
}
