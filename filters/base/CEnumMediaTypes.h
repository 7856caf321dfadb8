// IEnumMediaTypes over a snapshot of a pin's preferred types taken when the enumerator is
// created (Clone copies the snapshot). One thread at a time.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <atomic>
#include <vector>

#include "common/CMediaType.h"

class CBasePin;

class CEnumMediaTypes final : public IEnumMediaTypes {
 public:
  // Snapshot of pin->GetMediaType(0...); hands out a new enumerator with one reference.
  static HRESULT Create(CBasePin* pin, IEnumMediaTypes** result);
  static HRESULT Create(std::vector<CMediaType> types, IEnumMediaTypes** result);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Each type handed out is task memory that the caller frees (DeleteMediaType semantics).
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** result) override;

 private:
  explicit CEnumMediaTypes(std::vector<CMediaType> types);
  ~CEnumMediaTypes();

  std::atomic<ULONG> m_refs{1};
  std::vector<CMediaType> m_types;
  size_t m_position = 0;
};
