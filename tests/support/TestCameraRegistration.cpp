// The test cameras registered for a test program with COM initialised.
#include "support/TestCameraRegistration.h"

#include <objbase.h>

void TestCameraEnvironment::SetUp() {
  m_comInitialized = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  TestCameraRegistration::SetUp();
}

void TestCameraEnvironment::TearDown() {
  TestCameraRegistration::TearDown();
  if (m_comInitialized) ::CoUninitialize();
  m_comInitialized = false;
}
