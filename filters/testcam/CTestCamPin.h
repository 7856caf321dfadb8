// Output pin of the test camera: offers the profile's formats through IAMStreamConfig, tells its
// category through IKsPropertySet (when the profile has it) and, while the filter is not stopped,
// runs a streaming thread that delivers one pattern frame per frame interval while running.
//
// Threads and locks:
//  - IPin, IAMStreamConfig and the state hooks run on application/graph threads under the filter
//    lock; m_format (the type fixed by SetFormat) is guarded by it.
//  - The streaming thread exists from OnActive to OnInactive. It never takes the filter lock; it
//    reads the run state and start time under m_streamLock (inner to the filter lock) and is
//    woken by m_wake. OnInactive asks it to quit, decommits the allocator (which frees a thread
//    blocked in GetDeliveryBuffer) and joins it. A downstream Receive that blocks forever would
//    hold the join; the graph stops downstream filters first, which releases it.
//  - Time stamps: sample n of a run covers [t, t + AvgTimePerFrame), where t advances by one
//    interval per frame from the stream time at which the run began; the thread waits on the
//    graph clock (or, without a clock, on the performance counter) until t is reached. After a
//    pause, or when it fell more than a few frames behind, it starts again from the current time.
//    The graph starts its clock a little in the future, so the first frames of a run can carry
//    negative times; they are delivered at once, as a live source's are.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <cstdint>

#include "common/CCritSection.h"
#include "common/ScopedHandle.h"
#include "filters/base/CBaseOutputPin.h"
#include "filters/testcam/TestCameraProfiles.h"

class CTestCamPin : public CBaseOutputPin,
                    public IAMStreamConfig,
                    public IKsPropertySet,
                    public IAMDroppedFrames {
 public:
  CTestCamPin(CBaseFilter* filter, const TestCameraProfile& profile, const wchar_t* name, REFGUID category);
  ~CTestCamPin() override;

  // IUnknown: one identity for all of the pin's interfaces; the filter's count.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IAMStreamConfig. SetFormat needs a stopped filter and one of the capabilities; a connected
  // pin changes its type only when the peer accepts it, and then reconnects through the graph.
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

  // IKsPropertySet: AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY, read only.
  STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data, DWORD dataSize) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data, DWORD dataSize,
                   DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

  // IAMDroppedFrames: frames delivered and refused downstream since the pin was created.
  STDMETHODIMP GetNumDropped(LONG* dropped) override;
  STDMETHODIMP GetNumNotDropped(LONG* delivered) override;
  STDMETHODIMP GetDroppedInfo(LONG size, LONG* frames, LONG* copied) override;
  STDMETHODIMP GetAverageFrameSize(LONG* averageSize) override;

  // CBasePin
  HRESULT CheckMediaType(const CMediaType& type) override;
  HRESULT GetMediaType(int index, CMediaType* type) override;
  HRESULT OnActive() override;
  HRESULT OnRun(REFERENCE_TIME start) override;
  HRESULT OnPause() override;
  HRESULT OnInactive() override;

 protected:
  HRESULT QueryPinInterface(REFIID riid, void** object) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

 private:
  enum class StreamState { Paused, Running, Quit };

  static DWORD WINAPI ThreadEntry(void* self);
  void StreamLoop();
  // Stream time now: from the graph clock, else the running time measured with the
  // performance counter.
  REFERENCE_TIME StreamNow();
  void DeliverFrame(REFERENCE_TIME start, REFERENCE_TIME interval, bool discontinuity);
  void SetStreamState(StreamState state);

  const TestCameraProfile& m_profile;
  const GUID m_category;
  CMediaType m_format;  // filter lock; empty until SetFormat

  CCritSection m_streamLock;  // guards m_streamState and the two counters below
  StreamState m_streamState = StreamState::Paused;
  LARGE_INTEGER m_runStartCounter = {};  // performance counter at stream time 0 (no clock)
  LARGE_INTEGER m_pausedCounter = {};    // performance counter when running last stopped
  ScopedHandle m_wake;    // auto-reset: the stream state changed
  ScopedHandle m_thread;  // filter lock (created and joined only under it)

  uint32_t m_frameNumber = 0;  // streaming thread
  std::atomic<LONG> m_delivered{0};
  std::atomic<LONG> m_dropped{0};
};
