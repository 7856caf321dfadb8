#include "RgCenterSlots.h"

#include <cstring>

bool IsSlotInUse(const RgCenterSlot& slot) { return slot.mediaType.cbFormat != 0; }

uint32_t UsableFormatLength(const RgCenterSlot& slot) {
  const uint32_t length = slot.mediaType.cbFormat;
  if (length < kMinUsableFormatLength || length > kSlotFormatCapacity) return 0;
  return length;
}

bool ReadFormatInt32(const RgCenterSlot& slot, size_t offset, int32_t* value) {
  const size_t length = UsableFormatLength(slot);
  if (offset > length || length - offset < sizeof(int32_t)) return false;
  memcpy(value, slot.formatBytes + offset, sizeof(int32_t));
  return true;
}

int64_t FormatFrameSize(const RgCenterSlot& slot) {
  int32_t width = 0, height = 0;
  if (!ReadFormatInt32(slot, kVideoInfoWidthOffset, &width) ||
      !ReadFormatInt32(slot, kVideoInfoHeightOffset, &height)) {
    return 0;
  }
  const int64_t absHeight = height < 0 ? -static_cast<int64_t>(height) : static_cast<int64_t>(height);
  return static_cast<int64_t>(width) * absHeight;
}

int ChooseLargestFormat(const RgCenterSlot* slots, size_t count) {
  int chosen = kNoSlot;
  int64_t largest = 0;  // so a size of 0 or below is never chosen
  for (size_t i = 0; i < count; ++i) {
    const int64_t size = FormatFrameSize(slots[i]);
    if (size > largest) {
      largest = size;
      chosen = static_cast<int>(i);
    }
  }
  return chosen;
}

bool AnySlotWantsVideo(const RgCenterSlot* slots, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (IsSlotInUse(slots[i]) && slots[i].wantsVideo != 0) return true;
  }
  return false;
}

void EncodeMediaType32(const AM_MEDIA_TYPE& type, MediaType32* out) {
  out->majortype = type.majortype;
  out->subtype = type.subtype;
  out->bFixedSizeSamples = static_cast<uint32_t>(type.bFixedSizeSamples);
  out->bTemporalCompression = static_cast<uint32_t>(type.bTemporalCompression);
  out->lSampleSize = type.lSampleSize;
  out->formattype = type.formattype;
  out->pUnk = 0;
  out->cbFormat = type.cbFormat;
  out->pbFormat = 0;
}

void DecodeMediaType32(const MediaType32& header, AM_MEDIA_TYPE* out) {
  out->majortype = header.majortype;
  out->subtype = header.subtype;
  out->bFixedSizeSamples = static_cast<BOOL>(header.bFixedSizeSamples);
  out->bTemporalCompression = static_cast<BOOL>(header.bTemporalCompression);
  out->lSampleSize = header.lSampleSize;
  out->formattype = header.formattype;
  out->pUnk = nullptr;
  out->cbFormat = 0;
  out->pbFormat = nullptr;
}

HRESULT CopySlotMediaType(const RgCenterSlot& slot, CMediaType* out) {
  const uint32_t length = UsableFormatLength(slot);
  if (length == 0) return E_INVALIDARG;
  AM_MEDIA_TYPE type;
  DecodeMediaType32(slot.mediaType, &type);
  type.cbFormat = length;
  type.pbFormat = const_cast<BYTE*>(slot.formatBytes);  // only read: CopyFrom duplicates it
  return out->CopyFrom(type);
}

HRESULT WriteSlotMediaType(const AM_MEDIA_TYPE& type, RgCenterSlot* slot) {
  if (type.cbFormat > kSlotFormatCapacity || (type.cbFormat != 0 && type.pbFormat == nullptr)) {
    return E_INVALIDARG;
  }
  EncodeMediaType32(type, &slot->mediaType);
  if (type.cbFormat != 0) memcpy(slot->formatBytes, type.pbFormat, type.cbFormat);
  memset(slot->formatBytes + type.cbFormat, 0, kSlotFormatCapacity - type.cbFormat);
  return S_OK;
}

FILETIME SlotStartTime(const RgCenterSlot& slot) {
  FILETIME time;
  time.dwLowDateTime = slot.startTimeLow;
  time.dwHighDateTime = slot.startTimeHigh;
  return time;
}

void SlotProgramName(const RgCenterSlot& slot, WCHAR (&out)[kNameCapacity]) {
  const size_t length = BoundedLength(slot.programName, kNameCapacity - 1);
  memcpy(out, slot.programName, length * sizeof(WCHAR));
  out[length] = L'\0';
}

bool IsSlotOwnedBy(const RgCenterSlot& slot, const ClientIdentity& who) {
  return slot.processId == who.processId && slot.startTimeLow == who.startTime.dwLowDateTime &&
         slot.startTimeHigh == who.startTime.dwHighDateTime;
}

HRESULT FillClientSlot(const ClientIdentity& who, BOOL wantsVideo, const AM_MEDIA_TYPE& type, RgCenterSlot* slot) {
  if (type.cbFormat == 0) return E_INVALIDARG;
  const HRESULT hr = WriteSlotMediaType(type, slot);
  if (FAILED(hr)) return hr;
  slot->processId = who.processId;
  slot->startTimeLow = who.startTime.dwLowDateTime;
  slot->startTimeHigh = who.startTime.dwHighDateTime;
  slot->wantsVideo = wantsVideo ? TRUE : FALSE;
  BoundedCopy(slot->programName, who.programName);
  return S_OK;
}

void ClearClientSlot(RgCenterSlot* slot) { memset(slot, 0, sizeof(*slot)); }

uint16_t CountClientSlotsInUse(const RgCenterBlock& record) {
  uint16_t count = 0;
  for (size_t i = 0; i < kClientOwnedSlotCount; ++i) {
    if (IsSlotInUse(record.clientSlots[i])) ++count;
  }
  return count;
}

int LowestFreeClientSlot(const RgCenterBlock& record) {
  for (size_t i = 0; i < kClientOwnedSlotCount; ++i) {
    if (!IsSlotInUse(record.clientSlots[i])) return static_cast<int>(i);
  }
  return kNoSlot;
}
