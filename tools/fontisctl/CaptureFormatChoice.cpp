#include "CaptureFormatChoice.h"

size_t ChooseCaptureFormat(const CaptureRequest& request, const OfferedFormat* offers, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const OfferedFormat& offer = offers[i];
    if (!offer.readable) continue;
    if (request.subtype != nullptr && !IsEqualGUID(offer.subtype, *request.subtype)) continue;
    if (request.width != 0 && (offer.width != request.width || offer.height != request.height)) continue;
    return i;
  }
  return kNoCaptureFormat;
}
