// Input pin of the frame-checking test renderer: accepts video with a VIDEOINFOHEADER (optionally
// only one subtype), reads the test camera's frame counter from every sample, checks the time
// stamps, and signals an event per sample.
// Threads: OnReceive runs on the camera's streaming thread; Stats/ResetStats on the test thread;
// m_statsLock guards every statistic.
#pragma once

#include <windows.h>

#include <cstdint>

#include "filters/base/CBaseInputPin.h"
#include "filters/base/CCriticalSection.h"
#include "ipc/ScopedHandle.h"

struct FrameCheckStats {
  LONG samples = 0;
  LONG unreadableCounters = 0;  // counter and complement disagree, or sample too short
  LONG counterGaps = 0;         // a counter that is not the previous one plus one
  uint32_t firstCounter = 0;
  uint32_t lastCounter = 0;
  LONG missingTimes = 0;         // sample without a start and stop time
  LONG nonIncreasingTimes = 0;   // start not after the previous start, or stop not after start
  LONG irregularSpacing = 0;     // start - previous start differs from the frame interval
  REFERENCE_TIME firstStart = 0;
  REFERENCE_TIME lastStart = 0;
  REFERENCE_TIME lastStop = 0;
  LONG wrongLengths = 0;         // actual data length differs from the connection's sample size
  // Stream time at arrival minus the sample's start time, over samples that arrived while the
  // graph ran with a clock: a source stamping in another time base shows up here.
  LONG timedSamples = 0;
  REFERENCE_TIME minLateness = 0;
  REFERENCE_TIME maxLateness = 0;
  LONG discontinuities = 0;
};

class CFrameCheckPin : public CBaseInputPin {
 public:
  CFrameCheckPin(CBaseFilter* filter, const GUID& onlySubtype);

  HRESULT CheckMediaType(const CAmMediaType& type) override;
  HRESULT OnActive() override;

  FrameCheckStats Stats();
  void ResetStats();
  HANDLE SampleEvent() const { return m_sampleEvent.Get(); }

 protected:
  HRESULT OnReceive(IMediaSample* sample) override;

 private:
  const GUID m_onlySubtype;  // GUID_NULL: any subtype
  ScopedHandle m_sampleEvent;
  CCriticalSection m_statsLock;
  FrameCheckStats m_stats;
};
