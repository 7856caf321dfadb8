// The fixture of the end-to-end host tests: the hosts they start create the capture renderer
// and open the test cameras, which this program registers for its whole run.
#pragma once

#include <gtest/gtest.h>

#include "support/FilterEnvironment.h"

class HostTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(IsCaptureRendererRegistered()); }
};
