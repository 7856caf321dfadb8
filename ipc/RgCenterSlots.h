// Reading and writing the request channel's slots: bounds-checked accessors for what clients
// write, the scans the host makes over them, and the 32-bit media type translation.
// Plain functions over plain records, callable from any thread; the caller holds "slock" and
// passes slots it copied out of the shared record, so that a client writing without the lock
// cannot change a length between its check and its use.
//
// "In use" and "usable" are different questions:
// - A slot is IN USE while its cbFormat is not 0. That is the clients' own registration mark,
//   so counting clients and deciding whether anyone wants video go by it alone, whatever the
//   rest of the slot holds.
// - A slot is USABLE for the choice of a format when it is in use and its cbFormat lies within
//   kMinUsableFormatLength..kSlotFormatCapacity: no more than the 100-byte format area holds,
//   and enough to carry the bitmap width and height (format offsets 52 and 56). A slot outside
//   those bounds still counts as a registered client that may want video, but its format is
//   never read nor handed on: the client broke the record's rules, and cutting its format
//   would hand the camera a size the client never asked for.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstddef>
#include <cstdint>

#include "ClientProcess.h"
#include "RgCenterBlock.h"
#include "VideoInfoFormat.h"
#include "common/CMediaType.h"

constexpr size_t kMinUsableFormatLength = kVideoInfoHeightOffset + sizeof(int32_t);  // 60
constexpr int kNoSlot = -1;

bool IsSlotInUse(const RgCenterSlot& slot);

// The slot's cbFormat when the slot is usable, else 0: never more than kSlotFormatCapacity.
uint32_t UsableFormatLength(const RgCenterSlot& slot);

// Reads the int32 at a format offset; false when that lies beyond the usable format.
bool ReadFormatInt32(const RgCenterSlot& slot, size_t offset, int32_t* value);

// Width x |height| in 64 bits (no product of two int32 values overflows it): 0 for a slot that
// is not usable, negative for a negative width.
int64_t FormatFrameSize(const RgCenterSlot& slot);

// The usable slot with the largest strictly positive frame size; on a tie the lower index
// stays. kNoSlot when none qualifies.
int ChooseLargestFormat(const RgCenterSlot* slots, size_t count);

// Whether any slot in use has wantsVideo set.
bool AnySlotWantsVideo(const RgCenterSlot* slots, size_t count);

// The 32-bit header of a media type: pUnk and pbFormat written as 0.
void EncodeMediaType32(const AM_MEDIA_TYPE& type, MediaType32* out);
// The fields of a 32-bit header; pUnk and pbFormat null, cbFormat 0 (the caller adds a format).
void DecodeMediaType32(const MediaType32& header, AM_MEDIA_TYPE* out);

// The slot's media type with its usable format bytes. E_INVALIDARG for a slot that is not
// usable (out unchanged); E_OUTOFMEMORY as CMediaType::CopyFrom reports it.
HRESULT CopySlotMediaType(const RgCenterSlot& slot, CMediaType* out);

// Writes a media type and its format block into a slot, zeroing the rest of the format area.
// E_INVALIDARG (slot unchanged) when the format is larger than the area or missing its bytes.
HRESULT WriteSlotMediaType(const AM_MEDIA_TYPE& type, RgCenterSlot* slot);

// ---- The clients' own fields, as our client protocol fills them (see the README) ----

// The owner's process start time from startTimeLow and startTimeHigh; zero when not recorded.
FILETIME SlotStartTime(const RgCenterSlot& slot);
// The slot's program name, cut to what the field holds: another client may leave it unterminated.
void SlotProgramName(const RgCenterSlot& slot, WCHAR (&out)[kNameCapacity]);
// The slot carries this process id and start time.
bool IsSlotOwnedBy(const RgCenterSlot& slot, const ClientIdentity& who);

// Writes who's registration into a slot: process id, start time, program name, wantsVideo and
// the media type. E_INVALIDARG, slot unchanged, for a type without format bytes or with more
// than the slot holds (a slot is in use exactly while cbFormat is not 0).
HRESULT FillClientSlot(const ClientIdentity& who, BOOL wantsVideo, const AM_MEDIA_TYPE& type, RgCenterSlot* slot);
// Every field zero: a free slot.
void ClearClientSlot(RgCenterSlot* slot);

// The client slots (0..7) in use: what clientCount must say.
uint16_t CountClientSlotsInUse(const RgCenterBlock& record);
// The lowest client slot not in use, or kNoSlot.
int LowestFreeClientSlot(const RgCenterBlock& record);
