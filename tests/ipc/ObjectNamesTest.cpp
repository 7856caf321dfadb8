// The names clients open the shared objects by. (Create-or-open is exercised through the records
// in StatusCrossProcessTest.cpp and RgCenterTest.cpp: a client creating first, a second host.)
#include <gtest/gtest.h>

#include <string>

#include "ipc/ObjectNames.h"

TEST(ObjectNames, ComposesBothFormsAndRefusesNamesThatDoNotFit) {
  WCHAR name[kNameCapacity];
  ASSERT_TRUE(ComposeObjectName(name, L"cam", kSuffixStatusRecord));
  EXPECT_STREQ(L"cam_NVFS_GRAPHERR_INFO", name);
  WCHAR base[kNameCapacity];
  ASSERT_TRUE(ComposeRgCenterBase(base, L"cam"));
  ASSERT_TRUE(ComposeObjectName(name, base, kSuffixRgCenterRecord));
  EXPECT_STREQ(L"camLumx_RgCenter_smem", name);

  // 235 characters leave room for the longest suffix; 236 do not.
  EXPECT_TRUE(ComposeObjectName(name, std::wstring(235, L'a').c_str(), kSuffixConnectEvent));
  EXPECT_EQ(259u, wcslen(name));
  EXPECT_FALSE(ComposeObjectName(name, std::wstring(236, L'a').c_str(), kSuffixConnectEvent));
  EXPECT_STREQ(L"", name);
  EXPECT_FALSE(ComposeObjectName(name, nullptr, kSuffixConnectEvent));
}
