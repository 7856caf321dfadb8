// Strict reading of a GUID's registry text.
#include "common/GuidText.h"

#include <cwchar>

namespace {

constexpr size_t kGuidTextLength = 38;

int HexValue(WCHAR c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// `digits` hexadecimal digits at text; false on anything else.
bool ReadHex(const WCHAR* text, int digits, unsigned long* value) {
  *value = 0;
  for (int i = 0; i < digits; ++i) {
    const int digit = HexValue(text[i]);
    if (digit < 0) return false;
    *value = (*value << 4) | static_cast<unsigned long>(digit);
  }
  return true;
}

}  // namespace

bool ParseGuidText(const WCHAR* text, GUID* guid) {
  if (text == nullptr || guid == nullptr || wcslen(text) != kGuidTextLength || text[0] != L'{' ||
      text[37] != L'}' || text[9] != L'-' || text[14] != L'-' || text[19] != L'-' || text[24] != L'-') {
    return false;
  }
  unsigned long part = 0;
  GUID parsed = {};
  if (!ReadHex(text + 1, 8, &part)) return false;
  parsed.Data1 = part;
  if (!ReadHex(text + 10, 4, &part)) return false;
  parsed.Data2 = static_cast<unsigned short>(part);
  if (!ReadHex(text + 15, 4, &part)) return false;
  parsed.Data3 = static_cast<unsigned short>(part);
  // Data4: two bytes before the last dash, six after it.
  const int offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text + offsets[i], 2, &part)) return false;
    parsed.Data4[i] = static_cast<unsigned char>(part);
  }
  *guid = parsed;
  return true;
}
