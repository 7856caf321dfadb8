// Turning a camera identity (name text and GUID) into a DirectShow source filter, the
// kernel-streaming proxy question, and two small COM helpers the graph code shares.
//
// Free functions that keep no state: every call enumerates the devices afresh on the calling
// thread, which must have COM initialised. No locks are taken.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstddef>
#include <string>
#include <vector>

// Class context of every object the host creates: in process, server or handler.
constexpr DWORD kInprocContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

// Opens the camera: by GUID when the name is empty, else by name text (display name, device
// path, CLSID text or a "#devguidid#" CLSID). S_OK with a filter; E_UNEXPECTED without one;
// E_INVALIDARG for a null name or out pointer. An empty name with a GUID whose class cannot be
// created resets *deviceGuid to GUID_NULL; a non-empty name never uses or changes the GUID.
HRESULT CreateCaptureFilter(const WCHAR* name, GUID* deviceGuid, REFCLSID category, IBaseFilter** filter);

// S_OK when a device matched (the filter is null when binding it failed); E_FAIL when none did
// or the name is null or empty; E_POINTER for a null out pointer; otherwise the enumerator's
// result (S_FALSE for an empty category).
HRESULT BindDeviceByName(REFCLSID category, const WCHAR* name, IBaseFilter** filter);

// No device of the category has the name asked for.
constexpr HRESULT kErrNoSuchDevice = static_cast<HRESULT>(0x80070490);  // HRESULT_FROM_WIN32(ERROR_NOT_FOUND)

// The first device of the category, in enumeration order, whose "FriendlyName" equals the name
// (whole, case-sensitive), bound to its filter: how a capture application opens a device that
// it listed by name. S_OK with a filter; kErrNoSuchDevice when none has the name (an empty
// category included); the binding's failure when the device that has it cannot be created;
// the enumerator's failure; E_INVALIDARG for a null or empty name, E_POINTER for a null out
// pointer.
HRESULT BindDeviceByFriendlyName(REFCLSID category, const WCHAR* friendlyName, IBaseFilter** filter);

// S_OK: the video input device of that display name or path is served by the kernel-streaming
// proxy; E_FAIL: it is not; E_UNEXPECTED: no such device; E_INVALIDARG: null or empty name.
HRESULT IsKsProxyDevice(const WCHAR* name);
// Whether HKLM\Software\Classes\CLSID\<clsidText>\InprocServer32 names the proxy module.
BOOL IsKsProxyClsid(const WCHAR* clsidText);

HRESULT CreateFilterInstance(CLSID clsid, IBaseFilter** filter);
// The braced text of a GUID, bounded to capacity - 1 units; the buffer is untouched on failure.
HRESULT GuidToString(const GUID* guid, WCHAR* buffer, size_t capacity);

// One video input device as the enumeration sees it, for listing tools.
struct VideoInputDeviceInfo {
  std::wstring displayName;  // what a name text is compared with; empty when there is none
  std::wstring friendlyName;
  std::wstring description;
  std::wstring devicePath;
  std::wstring clsidText;
  bool hasDisplayName = false;
  bool hasDevicePath = false;
  bool hasClsid = false;
};

// Every device of the category in enumeration order; S_FALSE (and an empty list) for an empty
// category, the enumerator's failure otherwise.
HRESULT ListDevices(REFCLSID category, std::vector<VideoInputDeviceInfo>* devices);
