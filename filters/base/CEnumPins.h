// IEnumPins over a snapshot of a filter's pins (pins never change, so the snapshot never goes
// out of date). Holds a reference to each pin, hence to the filter. One thread at a time.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <atomic>
#include <vector>

class CBaseFilter;

class CEnumPins final : public IEnumPins {
 public:
  // Hands out a new enumerator with one reference.
  static HRESULT Create(CBaseFilter* filter, IEnumPins** result);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** result) override;

 private:
  CEnumPins();
  ~CEnumPins();

  std::atomic<ULONG> m_refs{1};
  std::vector<Microsoft::WRL::ComPtr<IPin>> m_pins;
  size_t m_position = 0;
};
