// fontis_testcam.dll's cameras registered for a test program, and undone; TestCameraEnvironment
// does it for the whole program with COM initialised multithreaded on the main thread.
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
