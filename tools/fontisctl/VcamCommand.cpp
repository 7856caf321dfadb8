// fontisctl vcam: shows and changes the current user's virtual camera settings: the instance the
// virtual camera joins and the real camera its host opens, and which camera a host started now
// would be asked for.
#include <objbase.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "Commands.h"
#include "CtlOutput.h"
#include "common/GuidText.h"
#include "common/ScopedComApartment.h"
#include "filters/vcam/CVcamSettings.h"
#include "filters/vcam/HostCamera.h"
#include "filters/vcam/VcamIdentity.h"

const char kVcamUsage[] =
    "vcam [--instance NAME] [--camera NAME] [--guid GUID] [--reset]   (\"\" as NAME or GUID removes the value)";

namespace {

// How a setting reads, and where its value comes from.
std::string OriginText(const CVcamSettings& settings, CVcamSettings::Setting setting) {
  switch (settings.OriginOf(setting)) {
    case CVcamSettings::Origin::kStored: return "(set)";
    case CVcamSettings::Origin::kDefault: return "(default)";
    case CVcamSettings::Origin::kRejected:
      return std::string("(default: the stored value is ignored, ") + settings.Problem(setting) + ")";
  }
  return std::string();
}

HRESULT Apply(CVcamSettings& settings, bool reset, const wchar_t* instance, const wchar_t* camera,
              const wchar_t* guidText) {
  HRESULT hr = reset ? settings.Reset() : S_OK;
  if (SUCCEEDED(hr) && instance != nullptr) {
    hr = instance[0] == L'\0' ? settings.Remove(CVcamSettings::kInstance) : settings.StoreInstance(instance);
  }
  if (SUCCEEDED(hr) && camera != nullptr) hr = settings.StoreCameraName(camera);
  if (SUCCEEDED(hr) && guidText != nullptr) {
    GUID guid = GUID_NULL;
    if (guidText[0] != L'\0') ParseGuidText(guidText, &guid);
    hr = settings.StoreCameraGuid(guid);
  }
  return hr;
}

}  // namespace

int RunVcamCommand(int argc, wchar_t** argv) {
  const wchar_t* instance = nullptr;
  const wchar_t* camera = nullptr;
  const wchar_t* guidText = nullptr;
  bool reset = false;
  for (int i = 0; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (wcscmp(argv[i], L"--reset") == 0) {
      reset = true;
    } else if (wcscmp(argv[i], L"--instance") == 0 && hasValue) {
      instance = argv[++i];
    } else if (wcscmp(argv[i], L"--camera") == 0 && hasValue) {
      camera = argv[++i];
    } else if (wcscmp(argv[i], L"--guid") == 0 && hasValue) {
      guidText = argv[++i];
    } else {
      return UsageError("unexpected argument or missing value", kVcamUsage);
    }
  }
  const char* problem = "";
  if (instance != nullptr && instance[0] != L'\0' && !CVcamSettings::IsUsableInstance(instance, &problem)) {
    return UsageError((std::string("--instance is refused: ") + problem).c_str(), kVcamUsage);
  }
  if (camera != nullptr &&
      (wcslen(camera) >= kNameCapacity || !CVcamSettings::IsUsableCameraName(camera, &problem))) {
    return UsageError((std::string("--camera is refused: ") + (problem[0] != '\0' ? problem : "it is too long")).c_str(),
                      kVcamUsage);
  }
  GUID guid = GUID_NULL;
  if (guidText != nullptr && guidText[0] != L'\0' && !ParseGuidText(guidText, &guid)) {
    return UsageError("--guid takes a GUID in braces: {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", kVcamUsage);
  }
  if (IsEqualGUID(guid, kVcamClsid)) return UsageError("--guid is refused: it names the virtual camera itself", kVcamUsage);

  CVcamSettings settings;
  const HRESULT hr = Apply(settings, reset, instance, camera, guidText);
  if (FAILED(hr)) {
    fprintf(stderr, "fontisctl: cannot change the settings: %s\n", DescribeHResult(hr).c_str());
    return kExitFailure;
  }

  settings.Load();
  printf("instance             \"%s\"  %s\n", Narrow(settings.Instance()).c_str(),
         OriginText(settings, CVcamSettings::kInstance).c_str());
  if (settings.CameraName()[0] != L'\0') {
    printf("camera name          \"%s\"  %s\n", Narrow(settings.CameraName()).c_str(),
           OriginText(settings, CVcamSettings::kCameraName).c_str());
  } else {
    printf("camera name          (none)  %s\n", OriginText(settings, CVcamSettings::kCameraName).c_str());
  }
  if (!IsEqualGUID(settings.CameraGuid(), GUID_NULL)) {
    printf("camera GUID          %s  %s\n", GuidText(settings.CameraGuid()).c_str(),
           OriginText(settings, CVcamSettings::kCameraGuid).c_str());
  } else {
    printf("camera GUID          (none)  %s\n", OriginText(settings, CVcamSettings::kCameraGuid).c_str());
  }
  // The camera a host started now would get: the named one, else the first device but ours.
  ScopedComApartment com;
  HostCamera chosen = {};
  if (ResolveHostCamera(settings, &chosen) == S_OK) {
    printf("a new host opens     \"%s\" %s\n", Narrow(chosen.name).c_str(), GuidText(chosen.guid).c_str());
  } else {
    printf("a new host opens     nothing: no video input device but the virtual camera matches\n");
  }
  return kExitOk;
}
