// Self-registration helpers for filter DLLs: the COM class's InprocServer32 key and the
// filter's entry in a DirectShow category through IFilterMapper2 (with extra property-bag values
// such as a capture device's "Description" and "DevicePath").
// Called from DllRegisterServer / DllUnregisterServer with COM initialised on the calling thread.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstddef>
#include <string>

// Path of the module (DLL or program) that contains this code.
std::wstring CurrentModulePath();

// HKLM\Software\Classes\CLSID\{clsid}: default value `name`, InprocServer32 = this module,
// ThreadingModel = threadingModel.
HRESULT RegisterInprocServer(REFCLSID clsid, const wchar_t* name, const wchar_t* threadingModel = L"Both");
// Removes the class's key and everything below it; S_OK when it was not there.
HRESULT UnregisterInprocServer(REFCLSID clsid);

// A string value written into the device's property bag after registration.
struct FilterPropertyValue {
  const wchar_t* name;
  const wchar_t* value;
};

// IFilterMapper2::RegisterFilter into `category` under `instanceName` (the key under the
// category's Instance key: it decides the enumeration order), then writes `values`.
HRESULT RegisterFilterInCategory(REFCLSID clsid, const wchar_t* friendlyName, REFCLSID category,
                                 const wchar_t* instanceName, const REGFILTER2& filter,
                                 const FilterPropertyValue* values, size_t valueCount);
// IFilterMapper2::UnregisterFilter; S_OK when the entry was not there.
HRESULT UnregisterFilterFromCategory(REFCLSID clsid, REFCLSID category, const wchar_t* instanceName);

// A capture source listed beside the cameras: its COM class (InprocServer32 = this module) and
// its entry in CLSID_VideoInputDeviceCategory under `instanceKey`, with one video capture output
// pin, merit "do not use" (applications pick cameras by name) and the property-bag values
// "Description" and "DevicePath".
struct VideoInputDevice {
  const CLSID* clsid;
  const wchar_t* instanceKey;
  const wchar_t* friendlyName;  // also the COM class's name
  const wchar_t* description;
  const wchar_t* devicePath;
};
HRESULT RegisterVideoInputDevice(const VideoInputDevice& device);
// Removes both the category entry and the COM class, the second even when the first fails;
// S_OK when neither was there.
HRESULT UnregisterVideoInputDevice(const VideoInputDevice& device);
