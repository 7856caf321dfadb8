// Loading fontis_testcam.dll and calling its registration entry points for test programs.
#include "TestCameraRegistration.h"

#include <objbase.h>

#include <string>

#include "TestProcess.h"

namespace {
using RegistrationFunction = HRESULT(STDAPICALLTYPE*)();
using LiveObjectsFunction = LONG(WINAPI*)();

template <class T>
T ExportOf(HMODULE module, const char* name) {
  // GetProcAddress returns a generic function pointer; the export's real type is known here.
  return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}
}  // namespace

TestCameraRegistration::~TestCameraRegistration() {
  if (m_registered) Unregister();
  if (m_module != nullptr) ::FreeLibrary(m_module);
}

HRESULT TestCameraRegistration::CallExport(const char* name) {
  if (m_module == nullptr) {
    const std::wstring path = SiblingPath(L"fontis_testcam.dll");
    m_module = ::LoadLibraryW(path.c_str());
    if (m_module == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
  }
  const auto function = ExportOf<RegistrationFunction>(m_module, name);
  if (function == nullptr) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  return function();
}

HRESULT TestCameraRegistration::Register() {
  const HRESULT hr = CallExport("DllRegisterServer");
  // Even a partial registration must be undone later.
  m_registered = true;
  return hr;
}

HRESULT TestCameraRegistration::Unregister() {
  const HRESULT hr = CallExport("DllUnregisterServer");
  if (SUCCEEDED(hr)) m_registered = false;
  return hr;
}

LONG TestCameraRegistration::LiveObjects() const {
  if (m_module == nullptr) return -1;
  const auto function = ExportOf<LiveObjectsFunction>(m_module, "TestCamLiveObjects");
  return function != nullptr ? function() : -1;
}

void TestCameraEnvironment::SetUp() {
  m_comInitialized = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  const HRESULT hr = m_registration.Register();
  ASSERT_EQ(S_OK, hr) << "registering the test cameras failed";
}

void TestCameraEnvironment::TearDown() {
  EXPECT_EQ(S_OK, m_registration.Unregister());
  if (m_comInitialized) ::CoUninitialize();
  m_comInitialized = false;
}
