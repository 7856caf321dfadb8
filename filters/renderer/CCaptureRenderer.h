// The capture renderer: the filter at the end of the host's graph that hands every frame to the
// virtual camera's clients through the instance's frame ring, and tells the host, through its
// format event, when the clients ask for another format.
//
// Threads and locks:
//  - Graph threads call IBaseFilter/IPin methods under the filter lock; the host calls
//    IRendererControl from its main or monitor thread.
//  - The upstream streaming thread calls Render without the filter lock, and never takes it.
//  - m_receiveLock guards the ring writer, the formats, the instance name and the option; Render
//    holds it for one publish, which never waits for anything (readers hold no lock of ours).
//  - Lock order: filter lock, then m_receiveLock, then the format watcher's own lock.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "capture/IRendererControl.h"
#include "common/CCritSection.h"
#include "common/WideString.h"
#include "filters/base/CBaseFilter.h"
#include "filters/renderer/CCaptureInputPin.h"
#include "filters/renderer/CFormatWatcher.h"
#include "filters/renderer/RendererFormat.h"
#include "framering/CFrameRingWriter.h"

class CCaptureRenderer final : public CBaseFilter, public IRendererControl, public IAMFilterMiscFlags {
 public:
  // A new renderer with one reference; null when out of memory.
  static CCaptureRenderer* Create();

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override { return CBaseFilter::QueryInterface(riid, object); }
  STDMETHODIMP_(ULONG) AddRef() override { return CBaseFilter::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CBaseFilter::Release(); }

  // IRendererControl
  STDMETHODIMP SetInstanceName(LPCWSTR instanceName) override;
  STDMETHODIMP SetOption(DWORD option) override;
  STDMETHODIMP SetFormatEvent(HANDLE formatEvent) override;
  STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE* mediaType) override;

  // IAMFilterMiscFlags: the graph counts us among the renderers that end a stream.
  STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &m_pin : nullptr; }

  // The pin's calls. OnConnected: graph thread, filter lock held; a failure refuses the
  // connection. Render: streaming thread.
  HRESULT OnConnected(const RendererFormat& format);
  HRESULT Render(IMediaSample* sample);

 protected:
  HRESULT QueryFilterInterface(REFIID riid, void** object) override;

 private:
  CCaptureRenderer();
  ~CCaptureRenderer() override;

  // m_receiveLock held: makes the ring's slots hold frames of this format (S_OK while no ring
  // is open: it is sized when the instance name arrives).
  HRESULT ReserveRing(const RendererFormat& format);

  CCaptureInputPin m_pin;
  CCritSection m_receiveLock;
  CFrameRingWriter m_writer;               // m_receiveLock
  RendererFormat m_format;                 // m_receiveLock: what arrives, valid while m_hasFormat
  bool m_hasFormat = false;                // m_receiveLock
  // m_receiveLock: the ring holds frames of m_format. While not, frames are dropped: they are
  // never published described as another format.
  bool m_ringHoldsFormat = false;
  WCHAR m_instance[kNameCapacity] = {};    // m_receiveLock
  DWORD m_option = 0;                      // m_receiveLock
  CFormatWatcher m_watcher;                // last member: its thread stops first
};
