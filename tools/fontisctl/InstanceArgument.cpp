// Instance arguments of the commands, and the frame ring that one names.
#include "InstanceArgument.h"

#include <cstdio>
#include <cwchar>

#include "Commands.h"
#include "CtlOutput.h"
#include "common/WideString.h"

bool IsInstanceArgument(const wchar_t* text) { return text[0] != L'\0' && wcslen(text) < kNameCapacity; }

int OpenInstanceFrameRing(const wchar_t* instance, CFrameRingReader* reader) {
  const HRESULT opened = reader->Open(instance);
  if (FAILED(opened)) {
    fprintf(stderr, "fontisctl: instance \"%s\" has no frame ring: %s\n", Narrow(instance).c_str(),
            DescribeHResult(opened).c_str());
    return kExitNoInstance;
  }
  return kExitOk;
}
