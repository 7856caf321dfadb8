#include "CaptureTestSupport.h"

#include <gtest/gtest.h>

#include "support/TestProcess.h"

namespace {

using RegistrationFunction = HRESULT(STDAPICALLTYPE*)();

// fontis_renderer.dll registered for the program's life, beside the test cameras.
class RendererEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    m_module = ::LoadLibraryW(SiblingPath(L"fontis_renderer.dll").c_str());
    ASSERT_NE(nullptr, m_module) << "fontis_renderer.dll is missing";
    ASSERT_EQ(S_OK, Call("DllRegisterServer"));
  }
  void TearDown() override {
    if (m_module == nullptr) return;
    EXPECT_EQ(S_OK, Call("DllUnregisterServer"));
    // Kept loaded: the graph may hand back its last references late, and the DLL unloads with
    // the process anyway.
  }

 private:
  HRESULT Call(const char* name) {
    const auto entry =
        reinterpret_cast<RegistrationFunction>(reinterpret_cast<void*>(::GetProcAddress(m_module, name)));
    return entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }
  HMODULE m_module = nullptr;
};

TestCameraEnvironment* const g_cameras =
    static_cast<TestCameraEnvironment*>(::testing::AddGlobalTestEnvironment(new TestCameraEnvironment));
::testing::Environment* const g_renderer = ::testing::AddGlobalTestEnvironment(new RendererEnvironment);

}  // namespace

TestCameraRegistration& CameraRegistration() { return g_cameras->Registration(); }

CLSID FilterClass(IBaseFilter* filter) {
  CLSID clsid = GUID_NULL;
  if (filter == nullptr || FAILED(filter->GetClassID(&clsid))) return GUID_NULL;
  return clsid;
}
