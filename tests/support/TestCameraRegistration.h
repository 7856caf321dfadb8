// fontis_testcam.dll's cameras registered for a test program, and undone; TestCameraEnvironment
// does it for the whole program with COM initialised multithreaded on the main thread.
#pragma once

#include "support/RegisteredFilterDll.h"

class TestCameraRegistration : public RegisteredFilterDll {
 public:
  TestCameraRegistration() : RegisteredFilterDll(L"fontis_testcam.dll") {}
  // The DLL's count of live COM objects and server locks.
  LONG LiveObjects() { return Call("TestCamLiveObjects"); }
};

class TestCameraEnvironment : public TestCameraRegistration {
 public:
  void SetUp() override;
  void TearDown() override;
  TestCameraRegistration& Registration() { return *this; }

 private:
  bool m_comInitialized = false;
};
