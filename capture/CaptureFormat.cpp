#include "CaptureFormat.h"

#include <amvideo.h>
#include <wrl/client.h>

#include <cstring>
#include <utility>
#include <vector>

#include "capture/CaptureFormatMatch.h"
#include "capture/GraphConstruction.h"
#include "common/BitmapSize.h"
#include "common/CTaskMemMediaType.h"

using Microsoft::WRL::ComPtr;

namespace {

// Reads one capability; its key is marked unusable when the pin does not hand it out.
FormatSizeKey ReadCapabilityKey(IAMStreamConfig* config, int index) {
  CTaskMemMediaType type;
  VIDEO_STREAM_CONFIG_CAPS caps;
  // Anything but S_OK (S_FALSE: index out of range) means no capability at that index.
  if (config->GetStreamCaps(index, type.Receive(), reinterpret_cast<BYTE*>(&caps)) != S_OK || !type) {
    FormatSizeKey none = {};
    none.usable = false;
    return none;
  }
  return FormatSizeKeyOf(*type.Get());
}

}  // namespace

HRESULT SetPinFormat(IBaseFilter* filter, GUID category, CMediaType* mediaType) {
  if (filter == nullptr || mediaType == nullptr || mediaType->Get().pbFormat == nullptr ||
      mediaType->Get().cbFormat == 0) {
    return E_FAIL;
  }
  const FormatSizeKey request = FormatSizeKeyOf(mediaType->Get());

  ComPtr<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(&pins);
  if (FAILED(hr)) return hr;
  if (!pins) return E_FAIL;
  for (int pinIndex = 0; pinIndex < kMaxFilterPins; ++pinIndex) {
    ComPtr<IPin> pin;
    // S_FALSE: no more pins.
    if (pins->Next(1, &pin, nullptr) != S_OK || !pin) return E_FAIL;
    GUID pinCategory = GUID_NULL;
    if (SUCCEEDED(GetPinCategory(pin.Get(), &pinCategory)) && !IsEqualGUID(pinCategory, category)) continue;
    ComPtr<IAMStreamConfig> config;
    if (FAILED(pin.As(&config))) continue;

    if (IsCurrentFormatRequest(request)) {
      CTaskMemMediaType current;
      hr = config->GetFormat(current.Receive());
      if (FAILED(hr)) return hr;
      if (!current) return E_FAIL;
      return mediaType->CopyFrom(*current.Get());
    }

    int count = 0;
    int recordSize = 0;
    if (FAILED(config->GetNumberOfCapabilities(&count, &recordSize)) || recordSize != kVideoCapsRecordSize) {
      continue;
    }
    if (count < 0) count = 0;
    if (count > kMaxCapabilities) count = kMaxCapabilities;
    std::vector<FormatSizeKey> keys;
    keys.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) keys.push_back(ReadCapabilityKey(config.Get(), i));
    const CapabilityChoice choice = ChooseCapability(request, keys.data(), keys.size());

    CTaskMemMediaType chosen;
    VIDEO_STREAM_CONFIG_CAPS caps;
    hr = config->GetStreamCaps(static_cast<int>(choice.index), chosen.Receive(), reinterpret_cast<BYTE*>(&caps));
    if (choice.exact) {
      // An exact size decides the pin: its refusal is the answer, no other pin is tried.
      if (hr != S_OK || !chosen) return FAILED(hr) ? hr : E_FAIL;
      hr = config->SetFormat(chosen.Get());
      if (hr != S_OK) return hr;
      const HRESULT copied = mediaType->CopyFrom(*chosen.Get());
      return FAILED(copied) ? copied : hr;
    }
    if (hr != S_OK || !chosen) continue;
    if (config->SetFormat(chosen.Get()) != S_OK) continue;
    return mediaType->CopyFrom(*chosen.Get());
  }
  return E_FAIL;
}

HRESULT GetConnectedFormat(IBaseFilter* filter, GUID category, CMediaType* mediaType) {
  if (filter == nullptr || mediaType == nullptr) return E_POINTER;
  ComPtr<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(&pins);
  if (FAILED(hr)) return hr;
  if (!pins) return E_FAIL;
  ComPtr<IPin> pin;
  // S_FALSE: no more pins.
  for (int i = 0; i < kMaxFilterPins && pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK && pin; ++i) {
    PIN_DIRECTION direction;
    if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) continue;
    GUID pinCategory = GUID_NULL;
    if (SUCCEEDED(GetPinCategory(pin.Get(), &pinCategory)) && !IsEqualGUID(pinCategory, category)) continue;
    AM_MEDIA_TYPE connection = {};
    // VFW_E_NOT_CONNECTED for a free pin: try the next.
    if (pin->ConnectionMediaType(&connection) != S_OK) continue;
    hr = mediaType->CopyFrom(connection);
    CMediaType::FreeFields(connection);
    return hr;
  }
  return E_FAIL;
}

HRESULT UpdateImageSize(CMediaType* mediaType) {
  if (mediaType == nullptr) return S_OK;
  const AM_MEDIA_TYPE& type = mediaType->Get();
  if (type.pbFormat == nullptr || type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.bFixedSizeSamples) return S_OK;

  std::vector<BYTE> block(type.pbFormat, type.pbFormat + type.cbFormat);
  VIDEOINFOHEADER header;
  memcpy(&header, block.data(), sizeof(header));
  const DWORD size =
      BitmapImageSize(header.bmiHeader.biWidth, header.bmiHeader.biHeight, header.bmiHeader.biBitCount);
  header.bmiHeader.biSizeImage = size;
  memcpy(block.data(), &header, sizeof(header));

  AM_MEDIA_TYPE edited = type;
  edited.pbFormat = block.data();
  edited.lSampleSize = size;
  // Copied aside first: running out of memory must not cost the record its format block.
  CMediaType updated;
  if (SUCCEEDED(updated.CopyFrom(edited)) && updated->pbFormat != nullptr) *mediaType = std::move(updated);
  return S_OK;
}
