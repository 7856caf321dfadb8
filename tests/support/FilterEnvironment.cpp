// The test cameras and the capture renderer registered for programs that build the host's graphs.
#include "FilterEnvironment.h"

#include <gtest/gtest.h>

#include "support/RegisteredFilterDll.h"

namespace {

// fontis_renderer.dll registered for the program's life, beside the test cameras.
RegisteredFilterDll* const g_renderer = static_cast<RegisteredFilterDll*>(
    ::testing::AddGlobalTestEnvironment(new RegisteredFilterDll(L"fontis_renderer.dll")));

}  // namespace

bool IsCaptureRendererRegistered() { return g_renderer->IsRegistered(); }

void ExpectNoLiveFilters() {
  TestCameraRegistration& cameras = g_cameras->Registration();
  EXPECT_TRUE(WaitUntil([&] { return cameras.LiveObjects() == 0; }, 3000))
      << cameras.LiveObjects() << " test camera objects alive";
  EXPECT_TRUE(WaitUntil([] { return g_renderer->Call("DllCanUnloadNow") == S_OK; }, 3000))
      << "capture renderer objects alive";
}
