// The virtual camera: a live capture source with one capture pin whose frames come from the
// instance its per-user settings name. While it is in a filter graph it holds a slot in the
// instance's request channel (and a keeper makes sure a host serves); wantsVideo is set exactly
// while the graph is paused or running. A filter that is only created (a device enumeration
// that binds it) registers nothing and starts nothing.
// Threads: as CBaseFilter; the client's lock is inner to the filter lock (CVcamClient.h), the
// pin's streaming thread is described in CCaptureSourcePin.h.
#pragma once

#include <memory>

#include "filters/base/CCaptureSourceFilter.h"
#include "filters/vcam/CVcamClient.h"
#include "filters/vcam/CVcamPin.h"

class CVcamFilter final : public CCaptureSourceFilter {
 public:
  // Class factory entry point.
  static HRESULT CreateInstance(const void* context, REFIID iid, void** object);

  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Stop() override;

  int GetPinCount() override;
  CBasePin* GetPin(int index) override;

  CVcamClient& Client() { return m_client; }

 private:
  CVcamFilter();
  ~CVcamFilter() override;

  // Declared before the pin: the pin's streaming thread reads the client's launch state, so the
  // pin goes first.
  CVcamClient m_client;
  std::unique_ptr<CVcamPin> m_pin;
};
