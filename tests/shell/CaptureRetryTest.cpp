// The retry procedure's guard, in this process: a processor fault inside counts as success and
// leaves the attempt count as it was.
#include <gtest/gtest.h>

#include "graphctl/CFontisGraphMng.h"
#include "shell/ApplicationState.h"
#include "shell/CaptureControl.h"

TEST(CaptureRetry, AFaultInsideIsReportedAsSuccessAndKeepsTheCount) {
  // A graph-control object whose every access faults: the first call of the procedure touches it.
  void* page = ::VirtualAlloc(nullptr, 65536, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(nullptr, page);
  g_appState.graphMng.reset(static_cast<CFontisGraphMng*>(page));
  g_appState.startRetryCount = 5;
  EXPECT_TRUE(RunCaptureWithRetries());
  EXPECT_EQ(5, g_appState.startRetryCount);
  EXPECT_TRUE(RunCaptureWithRetries());  // and again: the guard is whole after a fault
  EXPECT_EQ(5, g_appState.startRetryCount);
  (void)g_appState.graphMng.release();
  ::VirtualFree(page, 0, MEM_RELEASE);

  g_appState.startRetryCount = 0;
  EXPECT_FALSE(RunCaptureWithRetries());  // no graph-control object at all
}
