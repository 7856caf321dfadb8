// fontisctl switch: asks the host serving an instance for another camera, as a client does:
// name, GUID and pending flag in the status record under its lock, then the device-change event.
#include <objbase.h>

#include <cstdio>
#include <cwchar>

#include "Commands.h"
#include "CtlOutput.h"
#include "InstanceArgument.h"
#include "ipc/CStatusChannelClient.h"

const char kSwitchUsage[] = "switch INSTANCE CAMERA [GUID]   (CAMERA \"\" with a GUID: the camera of that GUID)";

int RunSwitchCommand(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) return UsageError("switch takes an instance, a camera name and an optional GUID", kSwitchUsage);
  if (!IsInstanceArgument(argv[0])) return UsageError("bad instance name", kSwitchUsage);
  if (wcslen(argv[1]) >= kNameCapacity) return UsageError("the camera name is longer than 259 characters", kSwitchUsage);
  GUID guid = GUID_NULL;
  if (argc == 3 && FAILED(::CLSIDFromString(argv[2], &guid))) {
    return UsageError("the GUID must be in registry form, {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", kSwitchUsage);
  }
  if (argv[1][0] == L'\0' && IsEqualGUID(guid, GUID_NULL)) {
    return UsageError("an empty camera name needs a GUID", kSwitchUsage);
  }

  CStatusChannelClient channel;
  HRESULT hr = channel.Open(argv[0]);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: instance \"%s\" has no status channel (no host or client has it open): %s\n",
            Narrow(argv[0]).c_str(), DescribeHResult(hr).c_str());
    return kExitNoInstance;
  }
  hr = channel.RequestDevice(argv[1], guid);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: the status record stayed locked by another process: %s\n",
            DescribeHResult(hr).c_str());
    return kExitFailure;
  }
  printf("asked the host of \"%s\" for camera \"%s\" %s\n", Narrow(argv[0]).c_str(), Narrow(argv[1]).c_str(),
         GuidText(guid).c_str());
  return kExitOk;
}
