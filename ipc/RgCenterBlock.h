// The request channel record "<base>_smem": 13968 bytes shared with clients that are not ours,
// in the 32-bit layout those clients use, so every size and offset is fixed.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "common/WideString.h"

// AM_MEDIA_TYPE as a 32-bit process lays it out. The two pointers carry nothing across processes
// and are written as 0.
struct MediaType32 {
  GUID majortype;
  GUID subtype;
  uint32_t bFixedSizeSamples;
  uint32_t bTemporalCompression;
  uint32_t lSampleSize;
  GUID formattype;
  uint32_t pUnk;
  uint32_t cbFormat;
  uint32_t pbFormat;
};

constexpr size_t kSlotFormatCapacity = 100;  // bytes of format block a slot can hold
// The longest wait for "slock", by the host and by every client of the channel.
constexpr DWORD kRgCenterLockTimeoutMs = 3000;

// The host reads wantsVideo, processId and the media type. The other fields are the clients'
// own: our clients record there when their process started and which program it runs, so that
// a client can tell a slot whose owner has ended (the README's client protocol).
struct RgCenterSlot {
  uint32_t startTimeLow;     // clients' own: low half of the owner's process start FILETIME
  uint32_t wantsVideo;       // BOOL: the owner wants the camera running now
  uint32_t processId;        // the owner's process id
  uint32_t startTimeHigh;    // clients' own: high half of that FILETIME
  WCHAR programName[kNameCapacity];  // clients' own: the owner's program file name, maybe unterminated
  MediaType32 mediaType;     // in use exactly while mediaType.cbFormat is not 0
  uint8_t formatBytes[kSlotFormatCapacity];
};

constexpr size_t kRgCenterSlotCount = 9;
constexpr size_t kClientOwnedSlotCount = 8;  // slots 0..7 belong to client processes
constexpr size_t kPlaceholderSlot = 8;       // the host's session-lock placeholder

struct RgCenterBlock {
  WCHAR deviceName[kNameCapacity];      // host: the camera it serves
  WCHAR deviceGuidText[kNameCapacity];  // host: that camera's GUID in registry text form
  MediaType32 reservedType;             // clients' own; we neither read nor write it
  uint8_t reservedFormat[kSlotFormatCapacity];
  uint16_t reserved1212;
  uint16_t reserved1214;
  uint16_t clientCount;                 // clients: number of registered clients
  uint16_t padding1218;
  RgCenterSlot clientSlots[kRgCenterSlotCount];
  RgCenterSlot outputSlots[kRgCenterSlotCount];  // clients: formats in use; we only read them
  uint32_t placeholderActive;           // host: BOOL, slot 8 of clientSlots takes part in scans
};

constexpr DWORD kRgCenterBlockSize = 13968;

static_assert(sizeof(WCHAR) == 2, "records hold UTF-16");
static_assert(sizeof(GUID) == 16 && alignof(GUID) == 4, "GUID packs as in a 32-bit process");

static_assert(sizeof(MediaType32) == 72, "MediaType32 is 72 bytes");
static_assert(offsetof(MediaType32, majortype) == 0, "majortype");
static_assert(offsetof(MediaType32, subtype) == 16, "subtype");
static_assert(offsetof(MediaType32, bFixedSizeSamples) == 32, "bFixedSizeSamples");
static_assert(offsetof(MediaType32, bTemporalCompression) == 36, "bTemporalCompression");
static_assert(offsetof(MediaType32, lSampleSize) == 40, "lSampleSize");
static_assert(offsetof(MediaType32, formattype) == 44, "formattype");
static_assert(offsetof(MediaType32, pUnk) == 60, "pUnk");
static_assert(offsetof(MediaType32, cbFormat) == 64, "cbFormat");
static_assert(offsetof(MediaType32, pbFormat) == 68, "pbFormat");

static_assert(sizeof(RgCenterSlot) == 708, "RgCenterSlot is 708 bytes");
static_assert(offsetof(RgCenterSlot, startTimeLow) == 0, "startTimeLow");
static_assert(offsetof(RgCenterSlot, wantsVideo) == 4, "wantsVideo");
static_assert(offsetof(RgCenterSlot, processId) == 8, "processId");
static_assert(offsetof(RgCenterSlot, startTimeHigh) == 12, "startTimeHigh");
static_assert(offsetof(RgCenterSlot, programName) == 16, "programName");
static_assert(offsetof(RgCenterSlot, mediaType) == 536, "mediaType");
static_assert(offsetof(RgCenterSlot, mediaType) + offsetof(MediaType32, cbFormat) == 600, "slot cbFormat");
static_assert(offsetof(RgCenterSlot, formatBytes) == 608, "formatBytes");

static_assert(sizeof(RgCenterBlock) == kRgCenterBlockSize, "RgCenterBlock is 13968 bytes");
static_assert(offsetof(RgCenterBlock, deviceName) == 0, "deviceName");
static_assert(offsetof(RgCenterBlock, deviceGuidText) == 520, "deviceGuidText");
static_assert(offsetof(RgCenterBlock, reservedType) == 1040, "reservedType");
static_assert(offsetof(RgCenterBlock, reservedFormat) == 1112, "reservedFormat");
static_assert(offsetof(RgCenterBlock, reserved1212) == 1212, "reserved1212");
static_assert(offsetof(RgCenterBlock, reserved1214) == 1214, "reserved1214");
static_assert(offsetof(RgCenterBlock, clientCount) == 1216, "clientCount");
static_assert(offsetof(RgCenterBlock, padding1218) == 1218, "padding1218");
static_assert(offsetof(RgCenterBlock, clientSlots) == 1220, "clientSlots");
static_assert(offsetof(RgCenterBlock, outputSlots) == 7592, "outputSlots");
static_assert(offsetof(RgCenterBlock, placeholderActive) == 13964, "placeholderActive");
