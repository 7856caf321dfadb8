// The sink at the end of `fontisctl capture`'s graph: one input pin that accepts exactly the
// media type the command chose and keeps what the command reports and saves: the first N frames'
// time stamps, the newest of those frames, and, when given a file, those frames' bytes appended
// to it one after another. Frames after the first N are let go.
//
// Threads and locks: the pin's OnReceive runs on the device's streaming thread; the command's
// thread waits on FrameEvent and calls the accessors. m_lock guards the kept frames, times and
// counts (and the file writes); once the graph has stopped no streaming thread calls in.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "common/CCritSection.h"
#include "common/ScopedHandle.h"
#include "filters/base/CBaseFilter.h"
#include "filters/base/CBaseInputPin.h"

class CFrameSink final : public CBaseFilter {
 public:
  struct SampleTime {
    bool hasStart = false;
    bool hasStop = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
  };

  class Pin final : public CBaseInputPin {
   public:
    explicit Pin(CBaseFilter* filter) : CBaseInputPin(filter, L"In") {}
    // Exactly the chosen type: major type, subtype, format type and format block.
    HRESULT CheckMediaType(const CMediaType& type) override;
    HRESULT GetMediaType(int index, CMediaType* type) override;
    // S_FALSE: a sample is copied and let go at once.
    STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

   protected:
    HRESULT OnReceive(IMediaSample* sample) override;
  };

  // A sink for frames of `type`, each `frameBytes` long, keeping the first `frames` of them;
  // `rawFile` (not owned, may be null) receives their bytes. S_OK with one reference owned by
  // the caller; E_OUTOFMEMORY.
  static HRESULT Create(const CMediaType& type, size_t frameBytes, LONG frames, HANDLE rawFile, CFrameSink** sink);

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }
  IPin* InputPin() { return &m_pin; }

  // Auto-reset, set after each frame kept.
  HANDLE FrameEvent() const { return m_frameEvent.Get(); }
  LONG FramesKept();
  // Samples shorter than a frame, which are not kept.
  LONG ShortSamples();
  // A write to the file failed; the frames after it were not written.
  bool WriteFailed();
  std::vector<SampleTime> Times();
  // The newest frame kept (frameBytes bytes), empty before the first.
  std::vector<BYTE> LastFrame();

 private:
  CFrameSink(size_t frameBytes, LONG frames, HANDLE rawFile);
  ~CFrameSink() override = default;

  HRESULT Keep(IMediaSample* sample);

  Pin m_pin;
  CMediaType m_type;  // set once before the sink joins a graph
  const size_t m_frameBytes;
  const LONG m_framesWanted;
  const HANDLE m_rawFile;
  ScopedHandle m_frameEvent;

  CCritSection m_lock;
  LONG m_framesKept = 0;
  LONG m_shortSamples = 0;
  bool m_writeFailed = false;
  std::vector<SampleTime> m_times;
  std::vector<BYTE> m_lastFrame;
};
