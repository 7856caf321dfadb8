// Helpers shared by the test camera's tests.
#include "CameraTestHelpers.h"


#include "filters/testcam/TestCameraProfiles.h"

using Microsoft::WRL::ComPtr;

TestCameraEnvironment* const g_cameras =
    static_cast<TestCameraEnvironment*>(::testing::AddGlobalTestEnvironment(new TestCameraEnvironment));

namespace {
class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&m_value); }
  ~ScopedVariant() { ::VariantClear(&m_value); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  VARIANT* Get() { return &m_value; }
  std::wstring Text() const {
    return m_value.vt == VT_BSTR && m_value.bstrVal != nullptr ? std::wstring(m_value.bstrVal) : std::wstring();
  }

 private:
  VARIANT m_value;
};

std::wstring ReadString(IPropertyBag* bag, const wchar_t* name) {
  ScopedVariant value;
  value.Get()->vt = VT_BSTR;
  if (FAILED(bag->Read(name, value.Get(), nullptr))) return std::wstring();
  return value.Text();
}
}  // namespace

std::vector<VideoDevice> EnumerateVideoDevices() {
  std::vector<VideoDevice> devices;
  ComPtr<ICreateDevEnum> system;
  if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&system)))) {
    return devices;
  }
  ComPtr<IEnumMoniker> monikers;
  // S_FALSE: the category is empty and no enumerator is handed out.
  if (system->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK || !monikers) {
    return devices;
  }
  for (;;) {
    ComPtr<IMoniker> moniker;
    if (monikers->Next(1, &moniker, nullptr) != S_OK) break;
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
    VideoDevice device;
    device.friendlyName = ReadString(bag.Get(), L"FriendlyName");
    device.description = ReadString(bag.Get(), L"Description");
    device.devicePath = ReadString(bag.Get(), L"DevicePath");
    device.clsid = ReadString(bag.Get(), L"CLSID");
    device.moniker = moniker;
    devices.push_back(device);
  }
  return devices;
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return text;
}

ComPtr<IBaseFilter> CreateTestCamera(size_t profileIndex) {
  ComPtr<IBaseFilter> filter;
  ::CoCreateInstance(kTestCameraProfiles[profileIndex].clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter));
  return filter;
}

ComPtr<IPin> PinAt(IBaseFilter* filter, int index) {
  ComPtr<IEnumPins> pins;
  if (filter == nullptr || FAILED(filter->EnumPins(&pins))) return nullptr;
  ComPtr<IPin> pin;
  for (int i = 0; i <= index; ++i) {
    pin.Reset();
    if (pins->Next(1, &pin, nullptr) != S_OK) return nullptr;
  }
  return pin;
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (::GetTickCount64() >= deadline) return done();
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(10);
  }
}

OAFilterState GraphState(IMediaControl* control) {
  OAFilterState state = State_Stopped;
  control->GetState(2000, &state);
  return state;
}
