// A video input device written straight into the registry for tests and benchmarks: an
// instance key of the video input category with chosen property values, and optionally a class
// key whose in-process server names a chosen module. Removed again on destruction.
// Not thread-safe; used from the test's main thread.
#pragma once

#include <windows.h>

#include <string>

class ExtraVideoDevice {
 public:
  ExtraVideoDevice() = default;
  ~ExtraVideoDevice() { Remove(); }
  ExtraVideoDevice(const ExtraVideoDevice&) = delete;
  ExtraVideoDevice& operator=(const ExtraVideoDevice&) = delete;

  // Values that are null are not written. ERROR_SUCCESS or the registry's error.
  LONG Add(const wchar_t* instanceKey, const wchar_t* friendlyName, const wchar_t* description,
           const wchar_t* devicePath, const wchar_t* clsidText);
  // HKLM\Software\Classes\CLSID\<clsidText>\InprocServer32 with serverPath as its default value.
  LONG AddClassServer(const wchar_t* clsidText, const wchar_t* serverPath);
  void Remove();

 private:
  std::wstring m_instanceKey;
  std::wstring m_classKey;
};
