#include "CtlOutput.h"

#include <objbase.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "ipc/VideoInfoFormat.h"

namespace {

struct NamedCode {
  HRESULT code;
  const char* name;
};

const NamedCode kKnownCodes[] = {
    {S_OK, "S_OK"},
    {S_FALSE, "S_FALSE"},
    {static_cast<HRESULT>(0x8000FFFF), "E_UNEXPECTED"},
    {static_cast<HRESULT>(0x80004001), "E_NOTIMPL"},
    {static_cast<HRESULT>(0x80004002), "E_NOINTERFACE"},
    {static_cast<HRESULT>(0x80004003), "E_POINTER"},
    {static_cast<HRESULT>(0x80004004), "E_ABORT"},
    {static_cast<HRESULT>(0x80004005), "E_FAIL"},
    {static_cast<HRESULT>(0x80070005), "E_ACCESSDENIED"},
    {static_cast<HRESULT>(0x80070006), "E_HANDLE"},
    {static_cast<HRESULT>(0x8007000E), "E_OUTOFMEMORY"},
    {static_cast<HRESULT>(0x80070057), "E_INVALIDARG"},
    {static_cast<HRESULT>(0x800705AA), "ERROR_NO_SYSTEM_RESOURCES"},
    {static_cast<HRESULT>(0x80040154), "REGDB_E_CLASSNOTREG"},
    {static_cast<HRESULT>(0x8004022A), "VFW_E_TYPE_NOT_ACCEPTED"},
    {static_cast<HRESULT>(0x80040217), "VFW_E_CANNOT_CONNECT"},
    {static_cast<HRESULT>(0x80040207), "VFW_E_NO_ACCEPTABLE_TYPES"},
    {static_cast<HRESULT>(0x80040216), "VFW_E_NOT_FOUND"},
    {static_cast<HRESULT>(0x80040227), "VFW_E_WRONG_STATE"},
    {static_cast<HRESULT>(0x8004025F), "VFW_E_NO_CAPTURE_HARDWARE"},
};

}  // namespace

std::string Narrow(const wchar_t* text) {
  if (text == nullptr || text[0] == L'\0') return std::string();
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], bytes, nullptr, nullptr);
  out.resize(static_cast<size_t>(bytes - 1));
  return out;
}

std::string GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return Narrow(text);
}

std::string DescribeHResult(HRESULT hr) {
  char hex[16];
  snprintf(hex, sizeof(hex), "0x%08lX", static_cast<unsigned long>(hr));
  for (const NamedCode& known : kKnownCodes) {
    if (known.code == hr) return std::string(hex) + " (" + known.name + ")";
  }
  return hex;
}

int UsageError(const char* message, const char* usage) {
  fprintf(stderr, "fontisctl: %s\nusage: fontisctl %s\n", message, usage);
  return 2;
}

bool ParseNumber(const wchar_t* text, long long min, long long max, long long* value) {
  if (text == nullptr || *text == L'\0') return false;
  wchar_t* end = nullptr;
  errno = 0;
  const long long parsed = wcstoll(text, &end, 10);
  if (errno != 0 || end == text || *end != L'\0' || parsed < min || parsed > max) return false;
  *value = parsed;
  return true;
}

namespace {

// Subtypes made from a FOURCC share these last twelve bytes and the 0000-0010 middle.
const GUID kFourCcBase = {0x00000000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

}  // namespace

std::string SubtypeText(const GUID& subtype) {
  if (const char* name = VideoSubtypeName(subtype)) return name;
  if (subtype.Data2 == kFourCcBase.Data2 && subtype.Data3 == kFourCcBase.Data3 &&
      memcmp(subtype.Data4, kFourCcBase.Data4, sizeof(subtype.Data4)) == 0) {
    std::string fourCc;
    for (int shift = 0; shift < 32; shift += 8) {
      const char c = static_cast<char>((subtype.Data1 >> shift) & 0xFF);
      if (c < 0x20 || c > 0x7E) return GuidText(subtype);
      fourCc += c;
    }
    return fourCc;
  }
  return GuidText(subtype);
}
