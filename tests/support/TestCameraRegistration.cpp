// Loading fontis_testcam.dll and calling its registration entry points for test programs.
#include "TestCameraRegistration.h"

#include <objbase.h>

#include "RegisteredFilterDll.h"
#include "TestProcess.h"

TestCameraRegistration::~TestCameraRegistration() {
  if (m_registered) Unregister();
  if (m_module != nullptr) ::FreeLibrary(m_module);
}

HRESULT TestCameraRegistration::CallExport(const char* name) {
  if (m_module == nullptr) m_module = ::LoadLibraryW(SiblingPath(L"fontis_testcam.dll").c_str());
  return m_module == nullptr ? HRESULT_FROM_WIN32(::GetLastError()) : CallDllExport(m_module, name);
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
  return m_module == nullptr ? -1 : CallDllExport(m_module, "TestCamLiveObjects");
}

void TestCameraEnvironment::SetUp() {
  m_comInitialized = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  ASSERT_EQ(S_OK, m_registration.Register()) << "registering the test cameras failed";
}

void TestCameraEnvironment::TearDown() {
  EXPECT_EQ(S_OK, m_registration.Unregister());
  if (m_comInitialized) ::CoUninitialize();
  m_comInitialized = false;
}
