#include "FilterEnvironment.h"

#include <gtest/gtest.h>

#include "support/TestProcess.h"

namespace {

using ExportFunction = HRESULT(STDAPICALLTYPE*)();

// fontis_renderer.dll registered for the program's life, beside the test cameras. Kept loaded:
// the graph may hand back its last references late, and the DLL unloads with the process anyway.
class RendererEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    m_module = ::LoadLibraryW(SiblingPath(L"fontis_renderer.dll").c_str());
    ASSERT_NE(nullptr, m_module) << "fontis_renderer.dll is missing";
    ASSERT_EQ(S_OK, Call("DllRegisterServer"));
    m_registered = true;
  }
  void TearDown() override {
    if (m_module == nullptr) return;
    EXPECT_EQ(S_OK, Call("DllUnregisterServer"));
  }
  bool IsRegistered() const { return m_registered; }
  HRESULT Call(const char* name) const {
    const auto entry =
        reinterpret_cast<ExportFunction>(reinterpret_cast<void*>(::GetProcAddress(m_module, name)));
    return entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }

 private:
  HMODULE m_module = nullptr;
  bool m_registered = false;
};

RendererEnvironment* const g_renderer =
    static_cast<RendererEnvironment*>(::testing::AddGlobalTestEnvironment(new RendererEnvironment));

}  // namespace

bool IsCaptureRendererRegistered() { return g_renderer->IsRegistered(); }

void ExpectNoLiveFilters() {
  TestCameraRegistration& cameras = g_cameras->Registration();
  EXPECT_TRUE(WaitUntil([&] { return cameras.LiveObjects() == 0; }, 3000))
      << cameras.LiveObjects() << " test camera objects alive";
  EXPECT_TRUE(WaitUntil([] { return g_renderer->Call("DllCanUnloadNow") == S_OK; }, 3000))
      << "capture renderer objects alive";
}
