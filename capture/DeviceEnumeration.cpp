#include "DeviceEnumeration.h"

#include <dshow.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <cwchar>
#include <utility>

#include "capture/DeviceMatching.h"
#include "common/ScopedCoMemString.h"
#include "common/ScopedRegKey.h"
#include "common/ScopedVariant.h"
#include "common/WideString.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr size_t kKeyPathCapacity = 512;
constexpr DWORD kServerValueBytes = 260;  // the default value is read into 130 UTF-16 units

// A string value of a device's property bag; false when it cannot be read or is no string.
bool ReadText(IPropertyBag* bag, const WCHAR* property, ScopedVariant* value) {
  const HRESULT hr = bag->Read(property, value->Receive(), nullptr);
  return SUCCEEDED(hr) && value->String() != nullptr;
}

// "Description", else "FriendlyName", into one value.
bool ReadDisplayName(IPropertyBag* bag, ScopedVariant* value) {
  return ReadText(bag, L"Description", value) || ReadText(bag, L"FriendlyName", value);
}

enum class WalkStep { kNext, kStop };

// Calls visit(moniker, bag) for each device of the category whose property bag binds, in the
// enumerator's order, until visit says stop. The enumerator's HRESULT when it cannot be made
// (S_FALSE for an empty category); *stopped tells whether a visit ended the walk.
template <class Visit>
HRESULT WalkDevices(REFCLSID category, bool* stopped, Visit visit) {
  *stopped = false;
  ComPtr<ICreateDevEnum> deviceEnum;
  HRESULT hr = ::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, kInprocContext, IID_PPV_ARGS(&deviceEnum));
  if (FAILED(hr)) return hr;
  ComPtr<IEnumMoniker> monikers;
  hr = deviceEnum->CreateClassEnumerator(category, &monikers, 0);
  // S_FALSE: the category is empty, and there is no enumerator.
  if (hr != S_OK) return hr;
  if (!monikers) return E_FAIL;
  monikers->Reset();
  for (;;) {
    ComPtr<IMoniker> moniker;
    // S_FALSE: no more devices.
    if (monikers->Next(1, &moniker, nullptr) != S_OK || !moniker) return S_OK;
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))) || !bag) continue;
    if (visit(moniker.Get(), bag.Get()) == WalkStep::kStop) {
      *stopped = true;
      return S_OK;
    }
  }
}

}  // namespace

HRESULT CreateFilterInstance(CLSID clsid, IBaseFilter** filter) {
  if (filter == nullptr) return E_POINTER;
  return ::CoCreateInstance(clsid, nullptr, kInprocContext, IID_IBaseFilter, reinterpret_cast<void**>(filter));
}

HRESULT GuidToString(const GUID* guid, WCHAR* buffer, size_t capacity) {
  if (guid == nullptr || buffer == nullptr) return E_POINTER;
  ScopedCoMemString text;
  const HRESULT hr = ::StringFromCLSID(*guid, text.Receive());
  if (hr != S_OK) return hr;
  BoundedCopy(buffer, capacity, text.Get());
  return S_OK;
}

HRESULT CreateCaptureFilter(const WCHAR* name, GUID* deviceGuid, REFCLSID category, IBaseFilter** filter) {
  if (filter == nullptr || name == nullptr) return E_INVALIDARG;
  *filter = nullptr;
  if (name[0] == L'\0' && deviceGuid != nullptr && !IsEqualGUID(*deviceGuid, GUID_NULL)) {
    CreateFilterInstance(*deviceGuid, filter);
    // The caller's stored GUID is forgotten when its class is gone.
    if (*filter == nullptr) *deviceGuid = GUID_NULL;
  }
  // The name's own result does not matter: only whether a filter came out.
  if (*filter == nullptr) BindDeviceByName(category, name, filter);
  return *filter != nullptr ? S_OK : E_UNEXPECTED;
}

HRESULT BindDeviceByName(REFCLSID category, const WCHAR* name, IBaseFilter** filter) {
  if (filter == nullptr) return E_POINTER;
  *filter = nullptr;
  if (name == nullptr || name[0] == L'\0') return E_FAIL;

  if (HasDevGuidIdToken(name)) {
    WCHAR clsidText[kNameCapacity];
    DevGuidIdClsidText(name, clsidText, kNameCapacity);
    CLSID clsid = GUID_NULL;
    const HRESULT hr = ::CLSIDFromString(clsidText, &clsid);
    if (FAILED(hr)) return hr;
    return ::CoCreateInstance(clsid, nullptr, kInprocContext, IID_IBaseFilter, reinterpret_cast<void**>(filter));
  }

  bool matched = false;
  const HRESULT hr = WalkDevices(category, &matched, [name, filter](IMoniker* moniker, IPropertyBag* bag) {
    ScopedVariant displayName;
    ScopedVariant path;
    DeviceIdentity device = {};
    if (ReadDisplayName(bag, &displayName)) device.displayName = displayName.String();
    if (ReadText(bag, L"DevicePath", &path)) device.devicePath = path.String();
    bool match = MatchesDisplayNameOrPath(device, name);
    if (!match) {
      // The CLSID is read only when the cheaper values did not match.
      ScopedVariant clsid;
      if (ReadText(bag, L"CLSID", &clsid)) device.clsidText = clsid.String();
      match = SameDeviceText(device.clsidText, name);
    }
    if (!match) return WalkStep::kNext;
    // The walk ends with the first match whether or not it binds.
    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
    return WalkStep::kStop;
  });
  if (hr != S_OK) return hr;
  return matched ? S_OK : E_FAIL;
}

HRESULT BindDeviceByFriendlyName(REFCLSID category, const WCHAR* friendlyName, IBaseFilter** filter) {
  if (filter == nullptr) return E_POINTER;
  *filter = nullptr;
  if (friendlyName == nullptr || friendlyName[0] == L'\0') return E_INVALIDARG;
  bool matched = false;
  HRESULT bound = E_FAIL;
  const auto visit = [friendlyName, filter, &bound](IMoniker* moniker, IPropertyBag* bag) {
    ScopedVariant name;
    if (!ReadText(bag, L"FriendlyName", &name) || !SameDeviceText(name.String(), friendlyName)) return WalkStep::kNext;
    bound = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
    return WalkStep::kStop;
  };
  const HRESULT hr = WalkDevices(category, &matched, visit);
  // S_FALSE: an empty category.
  if (hr == S_FALSE || (hr == S_OK && !matched)) return kErrNoSuchDevice;
  if (FAILED(hr)) return hr;
  if (FAILED(bound)) return bound;
  return *filter != nullptr ? S_OK : E_UNEXPECTED;
}

HRESULT IsKsProxyDevice(const WCHAR* name) {
  if (name == nullptr || name[0] == L'\0') return E_INVALIDARG;
  bool found = false;
  HRESULT result = E_UNEXPECTED;
  const HRESULT hr =
      WalkDevices(CLSID_VideoInputDeviceCategory, &found, [name, &result](IMoniker*, IPropertyBag* bag) {
        ScopedVariant displayName;
        if (!ReadDisplayName(bag, &displayName)) return WalkStep::kNext;
        ScopedVariant path;
        DeviceIdentity device = {displayName.String(), nullptr, nullptr};
        if (ReadText(bag, L"DevicePath", &path)) device.devicePath = path.String();
        if (!MatchesDisplayNameOrPath(device, name)) return WalkStep::kNext;
        ScopedVariant clsid;
        if (!ReadText(bag, L"CLSID", &clsid)) return WalkStep::kNext;
        result = IsKsProxyClsid(clsid.String()) ? S_OK : E_FAIL;
        return WalkStep::kStop;
      });
  if (hr != S_OK || !found) return E_UNEXPECTED;
  return result;
}

BOOL IsKsProxyClsid(const WCHAR* clsidText) {
  if (clsidText == nullptr) return FALSE;
  const std::wstring path = std::wstring(L"Software\\Classes\\CLSID\\") + clsidText + L"\\InprocServer32";
  if (path.size() >= kKeyPathCapacity) return FALSE;
  ScopedRegKey key;
  if (::RegOpenKeyW(HKEY_LOCAL_MACHINE, path.c_str(), key.Receive()) != ERROR_SUCCESS) return FALSE;
  // One unit more than the value may fill, so the text is always terminated.
  WCHAR server[kServerValueBytes / sizeof(WCHAR) + 1] = {};
  DWORD size = kServerValueBytes;
  if (::RegQueryValueExW(key.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(server), &size) !=
      ERROR_SUCCESS) {
    return FALSE;
  }
  return NamesKsProxyModule(server) ? TRUE : FALSE;
}

HRESULT ListDevices(REFCLSID category, std::vector<VideoInputDeviceInfo>* devices) {
  if (devices == nullptr) return E_POINTER;
  devices->clear();
  bool stopped = false;
  return WalkDevices(category, &stopped, [devices](IMoniker*, IPropertyBag* bag) {
    VideoInputDeviceInfo info;
    ScopedVariant value;
    if (ReadText(bag, L"FriendlyName", &value)) info.friendlyName = value.String();
    if (ReadText(bag, L"Description", &value)) info.description = value.String();
    if (ReadDisplayName(bag, &value)) {
      info.displayName = value.String();
      info.hasDisplayName = true;
    }
    if (ReadText(bag, L"DevicePath", &value)) {
      info.devicePath = value.String();
      info.hasDevicePath = true;
    }
    if (ReadText(bag, L"CLSID", &value)) {
      info.clsidText = value.String();
      info.hasClsid = true;
    }
    devices->push_back(std::move(info));
    return WalkStep::kNext;
  });
}
