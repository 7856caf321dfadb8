// Registers the test cameras of fontis_testcam.dll (see filters/testcam/TestCameraProfiles.h)
// for a test program: load the DLL beside the program, call its DllRegisterServer, and undo it.
// TestCameraEnvironment does it for the whole program (COM initialised multithreaded on the main
// thread); a test that needs no camera for a while unregisters and registers again.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

class TestCameraRegistration {
 public:
  TestCameraRegistration() = default;
  ~TestCameraRegistration();
  TestCameraRegistration(const TestCameraRegistration&) = delete;
  TestCameraRegistration& operator=(const TestCameraRegistration&) = delete;

  // Loads the DLL (kept loaded until destruction) and registers every camera.
  HRESULT Register();
  // Removes every camera; S_OK also when none was registered.
  HRESULT Unregister();
  bool IsRegistered() const { return m_registered; }

  // The DLL's count of live COM objects and server locks; negative when the DLL is not loaded.
  LONG LiveObjects() const;

 private:
  HRESULT CallExport(const char* name);

  HMODULE m_module = nullptr;
  bool m_registered = false;
};

class TestCameraEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
  TestCameraRegistration& Registration() { return m_registration; }

 private:
  TestCameraRegistration m_registration;
  bool m_comInitialized = false;
};
