// Registry and filter-mapper work behind DllRegisterServer / DllUnregisterServer.
#include "filters/base/FilterRegistration.h"

#include <uuids.h>
#include <wrl/client.h>

#include <vector>

#include "common/ScopedRegKey.h"
#include "common/ScopedVariant.h"

using Microsoft::WRL::ComPtr;

namespace {
std::wstring ClassKeyPath(REFCLSID clsid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(clsid, text, 40);
  return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

LONG SetStringValue(HKEY key, const wchar_t* name, const std::wstring& value) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void Anchor() {}
}  // namespace

std::wstring CurrentModulePath() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&Anchor), &module)) {
    return std::wstring();
  }
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) return std::wstring(path.data(), length);
    path.resize(path.size() * 2);
  }
}

HRESULT RegisterInprocServer(REFCLSID clsid, const wchar_t* name, const wchar_t* threadingModel) {
  const std::wstring modulePath = CurrentModulePath();
  if (modulePath.empty()) return HRESULT_FROM_WIN32(::GetLastError());
  const std::wstring classPath = ClassKeyPath(clsid);
  ScopedRegKey classKey;
  LONG error = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, classPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                 classKey.Receive(), nullptr);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  error = SetStringValue(classKey.Get(), nullptr, name != nullptr ? name : L"");
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  ScopedRegKey serverKey;
  error = ::RegCreateKeyExW(classKey.Get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                            serverKey.Receive(), nullptr);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  error = SetStringValue(serverKey.Get(), nullptr, modulePath);
  if (error == ERROR_SUCCESS) {
    error = SetStringValue(serverKey.Get(), L"ThreadingModel", threadingModel != nullptr ? threadingModel : L"Both");
  }
  return HRESULT_FROM_WIN32(error);
}

HRESULT UnregisterInprocServer(REFCLSID clsid) {
  const LONG error = ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKeyPath(clsid).c_str());
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return S_OK;
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  // The class key itself survives RegDeleteTree (it only empties it).
  const LONG removed = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, ClassKeyPath(clsid).c_str());
  return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(removed);
}

HRESULT RegisterFilterInCategory(REFCLSID clsid, const wchar_t* friendlyName, REFCLSID category,
                                 const wchar_t* instanceName, const REGFILTER2& filter,
                                 const FilterPropertyValue* values, size_t valueCount) {
  ComPtr<IFilterMapper2> mapper;
  HRESULT hr = ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper));
  if (FAILED(hr)) return hr;
  ComPtr<IMoniker> moniker;
  hr = mapper->RegisterFilter(clsid, friendlyName, &moniker, &category, instanceName, &filter);
  if (FAILED(hr)) return hr;
  if (valueCount == 0) return S_OK;
  if (!moniker) return E_UNEXPECTED;
  ComPtr<IPropertyBag> bag;
  hr = moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag));
  if (FAILED(hr)) return hr;
  for (size_t i = 0; i < valueCount; ++i) {
    ScopedVariant value(values[i].value);
    if (value.String() == nullptr) return E_OUTOFMEMORY;
    hr = bag->Write(values[i].name, value.Ptr());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT UnregisterFilterFromCategory(REFCLSID clsid, REFCLSID category, const wchar_t* instanceName) {
  ComPtr<IFilterMapper2> mapper;
  HRESULT hr = ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper));
  if (FAILED(hr)) return hr;
  hr = mapper->UnregisterFilter(&category, instanceName, clsid);
  // Already gone counts as done, so unregistering twice is harmless.
  if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) return S_OK;
  return hr;
}

HRESULT RegisterVideoInputDevice(const VideoInputDevice& device) {
  HRESULT hr = RegisterInprocServer(*device.clsid, device.friendlyName);
  if (FAILED(hr)) return hr;
  const REGPINTYPES pinType = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};
  REGFILTERPINS2 pin = {};
  pin.dwFlags = REG_PINFLAG_B_OUTPUT;
  pin.cInstances = 1;
  pin.nMediaTypes = 1;
  pin.lpMediaType = &pinType;
  pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
  REGFILTER2 filter = {};
  filter.dwVersion = 2;
  filter.dwMerit = MERIT_DO_NOT_USE;
  filter.cPins2 = 1;
  filter.rgPins2 = &pin;
  const FilterPropertyValue values[] = {
      {L"Description", device.description},
      {L"DevicePath", device.devicePath},
  };
  return RegisterFilterInCategory(*device.clsid, device.friendlyName, CLSID_VideoInputDeviceCategory,
                                  device.instanceKey, filter, values, sizeof(values) / sizeof(values[0]));
}

HRESULT UnregisterVideoInputDevice(const VideoInputDevice& device) {
  const HRESULT entry = UnregisterFilterFromCategory(*device.clsid, CLSID_VideoInputDeviceCategory, device.instanceKey);
  const HRESULT server = UnregisterInprocServer(*device.clsid);
  return FAILED(entry) ? entry : server;
}
