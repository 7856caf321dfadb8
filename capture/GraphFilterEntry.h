// One entry of the filter list handed to the graph builder, and the fixed names of the filters
// in the host's graph.
//
// The list and its filter references belong to the caller; the builder writes only
// `connected`, on the caller's thread.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include "common/WideString.h"

// role values
constexpr DWORD kRoleSource = 0;  // the first entry, or a filter chained after it
constexpr DWORD kRoleCaptureRenderer = 1;
constexpr DWORD kRolePreviewRenderer = 2;

// The camera is found again by this name when the graph is taken apart.
inline constexpr WCHAR kSourceFilterName[] = L"QV Source Filter";
inline constexpr WCHAR kPreviewRendererName[] = L"QV Preview Renderer";
inline constexpr WCHAR kSmartTeeName[] = L"Smart_Tee";
// The Smart Tee output that feeds the capture renderer.
inline constexpr WCHAR kTeeCapturePinPart[] = L"Capture";

struct GraphFilterEntry {
  DWORD role;
  Microsoft::WRL::ComPtr<IBaseFilter> filter;
  WCHAR name[kNameCapacity];
  GUID pinCategory;  // GUID_NULL: any pin
  BOOL connected;    // written by the build: added and connected
};
