// The virtual camera's per-user settings under HKCU\Software\Fontis\VirtualCamera: the instance
// it joins ("Instance") and the real camera that the instance's host opens ("CameraName",
// "CameraGuid"). Anyone may write these values: a value of the wrong type, too long, not
// terminated or naming the virtual camera itself is ignored (its reason kept for display) and
// the default used. Read by the filter each time it joins a graph, shown and changed by
// fontisctl vcam. COM-free; an object belongs to one thread.
#pragma once

#include <windows.h>

#include "common/WideString.h"

class CVcamSettings {
 public:
  static constexpr const WCHAR* kKeyPath = L"Software\\Fontis\\VirtualCamera";
  static constexpr const WCHAR* kDefaultInstance = L"FontisVirtualCamera";

  enum Setting { kInstance, kCameraName, kCameraGuid, kSettingCount };
  enum class Origin {
    kDefault,   // no value stored
    kStored,    // the stored value is in use
    kRejected,  // a value is stored but unusable; the default is in use (Problem() says why)
  };

  // keyPath under HKEY_CURRENT_USER; tests give a key of their own.
  explicit CVcamSettings(const WCHAR* keyPath = kKeyPath);

  // Reads every value; anything missing or unusable leaves its default. Never fails.
  void Load();

  const WCHAR* Instance() const { return m_instance; }
  // "" when no camera is set: the host then gets the first video input device but ours.
  const WCHAR* CameraName() const { return m_cameraName; }
  // GUID_NULL when none is set.
  const GUID& CameraGuid() const { return m_cameraGuid; }
  Origin OriginOf(Setting setting) const { return m_origin[setting]; }
  // Why a stored value was rejected ("" when it was not).
  const char* Problem(Setting setting) const { return m_problem[setting]; }
  static const WCHAR* ValueName(Setting setting);

  // Store one value for the current user; E_INVALIDARG for a value that Load would reject
  // (nothing stored), else the registry's result. An empty camera name or GUID_NULL removes
  // the value instead, as does Remove.
  HRESULT StoreInstance(const WCHAR* instance);
  HRESULT StoreCameraName(const WCHAR* name);
  HRESULT StoreCameraGuid(const GUID& guid);
  HRESULT Remove(Setting setting);
  // Every value removed (back to the defaults), and the key when nothing else is in it.
  HRESULT Reset();

  // The checks Load applies; *problem says why a value is refused.
  static bool IsUsableInstance(const WCHAR* instance, const char** problem);
  static bool IsUsableCameraName(const WCHAR* name, const char** problem);

 private:
  void SetDefaults();
  // A REG_SZ value into out; false with *problem when it is missing (problem "") or unusable.
  bool ReadString(HKEY key, const WCHAR* name, WCHAR (&out)[kNameCapacity], const char** problem) const;
  HRESULT StoreString(Setting setting, const WCHAR* text);

  WCHAR m_keyPath[kNameCapacity];
  WCHAR m_instance[kNameCapacity];
  WCHAR m_cameraName[kNameCapacity];
  GUID m_cameraGuid;
  Origin m_origin[kSettingCount];
  const char* m_problem[kSettingCount];
};
