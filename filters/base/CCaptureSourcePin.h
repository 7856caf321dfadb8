// Output pin base of our live capture sources (the test camera, the virtual camera): the formats
// it offers through IAMStreamConfig, its category through IKsPropertySet, its frame counts
// through IAMDroppedFrames, and a streaming thread that delivers one frame per frame interval
// while the filter runs.
//
// A derived pin lists its capabilities (CapabilityCount, GetCapability, FindCapability) and
// fills each sample (FillSample). It may refuse a SetFormat (CheckSetFormat), hide
// IKsPropertySet (AnswersPinCategory) and hear when the format it would deliver changed
// (OnFormatChanged).
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
#include <cstddef>
#include <cstdint>

#include "common/CCritSection.h"
#include "common/ScopedHandle.h"
#include "filters/base/CBaseOutputPin.h"

class CCaptureSourcePin : public CBaseOutputPin,
                          public IAMStreamConfig,
                          public IKsPropertySet,
                          public IAMDroppedFrames {
 public:
  // IUnknown: one identity for all of the pin's interfaces; the filter's count.
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPin: a connection or disconnection changes the format the pin delivers.
  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;

  // IAMStreamConfig. SetFormat needs a stopped filter and one of the capabilities; a connected
  // pin changes its type only when the peer accepts it, and then reconnects through the graph.
  // GetFormat: the connection type, else the type SetFormat fixed, else the first capability.
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

  // CBasePin. After SetFormat only that format (as FindCapability matches it) is accepted.
  HRESULT CheckMediaType(const CMediaType& type) override;
  HRESULT GetMediaType(int index, CMediaType* type) override;
  HRESULT OnActive() override;
  HRESULT OnRun(REFERENCE_TIME start) override;
  HRESULT OnPause() override;
  HRESULT OnInactive() override;

 protected:
  CCaptureSourcePin(CBaseFilter* filter, const wchar_t* name, REFGUID category);
  ~CCaptureSourcePin() override;

  HRESULT QueryPinInterface(REFIID riid, void** object) override;
  // Buffers of the connection type's sample size.
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // The capabilities, fixed for the pin's life; any thread.
  virtual size_t CapabilityCount() const = 0;
  // The index-th capability's media type and (when caps is not null) its full record.
  virtual HRESULT GetCapability(size_t index, CMediaType* type, VIDEO_STREAM_CONFIG_CAPS* caps) const = 0;
  // The capability a media type describes; false when it describes none.
  virtual bool FindCapability(const AM_MEDIA_TYPE& type, size_t* index) const = 0;
  // The size GetNumberOfCapabilities reports; GetStreamCaps writes no more than this.
  virtual ULONG CapsRecordSize() const { return sizeof(VIDEO_STREAM_CONFIG_CAPS); }
  virtual bool AnswersPinCategory() const { return true; }
  // A last word on a SetFormat of a capability; filter lock held.
  virtual HRESULT CheckSetFormat(size_t /*index*/) { return S_OK; }
  // The format GetFormat reports may have changed (SetFormat, connection, disconnection);
  // filter lock held.
  virtual void OnFormatChanged() {}

  // Streaming thread: fills the sample for frame `number` of this activation, sets its actual
  // data length. S_OK delivers it; anything else drops it.
  virtual HRESULT FillSample(IMediaSample* sample, uint32_t number) = 0;

  // What GetFormat reports; filter lock held.
  HRESULT CurrentFormat(CMediaType* out) const;
  // The streaming thread runs. A derived pin's destructor stops it (OnInactive) when a caller
  // released the filter without stopping it: the thread calls the derived FillSample.
  bool IsStreaming() const { return m_thread.IsValid(); }

 private:
  enum class StreamState { Paused, Running, Quit };

  static DWORD WINAPI ThreadEntry(void* self);
  void StreamLoop();
  // Stream time now: from the graph clock, else the running time measured with the
  // performance counter.
  REFERENCE_TIME StreamNow();
  void DeliverFrame(REFERENCE_TIME start, REFERENCE_TIME interval, bool discontinuity);
  void SetStreamState(StreamState state);

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
