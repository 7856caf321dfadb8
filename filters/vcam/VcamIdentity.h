// Who the virtual camera is to the system: its COM class and how it is listed among the video
// input devices. Its own settings and the default camera skip it, so that a host never opens
// the virtual camera as its real camera.
#pragma once

#include <windows.h>

// {B00741E9-C763-40BC-8EE1-EFCF1BC99824}
inline constexpr CLSID kVcamClsid = {0xb00741e9, 0xc763, 0x40bc, {0x8e, 0xe1, 0xef, 0xcf, 0x1b, 0xc9, 0x98, 0x24}};
inline constexpr WCHAR kVcamClsidText[] = L"{B00741E9-C763-40BC-8EE1-EFCF1BC99824}";
inline constexpr WCHAR kVcamFriendlyName[] = L"Fontis Virtual Camera";
// The key of its entry in the category; enumerations that sort by key list it before our test
// cameras.
inline constexpr WCHAR kVcamInstanceKey[] = L"Fontis Virtual Camera";
inline constexpr WCHAR kVcamDevicePath[] =
    L"\\\\?\\root#fontis_vcam#0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
