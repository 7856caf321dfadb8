#include "ObjectNames.h"

#include <cstring>
#include <cwchar>

namespace {

BOOL Join(WCHAR (&out)[kNameCapacity], const WCHAR* first, const WCHAR* separator, const WCHAR* second) {
  out[0] = L'\0';
  if (first == nullptr || second == nullptr) return FALSE;
  const size_t a = wcslen(first), b = wcslen(separator), c = wcslen(second);
  if (a + b + c >= kNameCapacity) return FALSE;
  memcpy(out, first, a * sizeof(WCHAR));
  memcpy(out + a, separator, b * sizeof(WCHAR));
  memcpy(out + a + b, second, c * sizeof(WCHAR));
  out[a + b + c] = L'\0';
  return TRUE;
}

}  // namespace

BOOL ComposeObjectName(WCHAR (&out)[kNameCapacity], const WCHAR* base, const WCHAR* suffix) {
  return Join(out, base, L"_", suffix);
}

BOOL ComposeRgCenterBase(WCHAR (&out)[kNameCapacity], const WCHAR* instanceName) {
  return Join(out, instanceName, L"", kRgCenterBaseSuffix);
}
