#include "VideoArguments.h"

#include <cwchar>
#include <string>

#include "CtlOutput.h"

bool ParseFrameSize(const wchar_t* text, LONG* width, LONG* height) {
  const wchar_t* x = wcschr(text, L'x');
  if (x == nullptr) return false;
  std::wstring widthText(text, x);
  long long w = 0, h = 0;
  if (!ParseNumber(widthText.c_str(), 1, kMaxArgumentSide, &w) ||
      !ParseNumber(x + 1, -kMaxArgumentSide, kMaxArgumentSide, &h) || h == 0) {
    return false;
  }
  *width = static_cast<LONG>(w);
  *height = static_cast<LONG>(h);
  return true;
}

bool ParseVideoSubtype(const wchar_t* text, VideoSubtype* subtype) {
  struct Named {
    const wchar_t* name;
    VideoSubtype subtype;
  };
  static const Named kNames[] = {{L"RGB24", VideoSubtype::kRgb24},
                                 {L"YUY2", VideoSubtype::kYuy2},
                                 {L"NV12", VideoSubtype::kNv12},
                                 {L"RGB32", VideoSubtype::kRgb32}};
  for (const Named& named : kNames) {
    if (wcscmp(text, named.name) == 0) {
      *subtype = named.subtype;
      return true;
    }
  }
  return false;
}
