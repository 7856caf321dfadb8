// What the virtual camera's tests share: its DLL registered, settings pointed at a test's own
// instance, a stand-in serving host, and a frame ring of coded pictures written by the test.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/ScopedHandle.h"
#include "filters/vcam/CVcamSettings.h"
#include "filters/vcam/VcamFormats.h"
#include "filters/vcam/VcamIdentity.h"
#include "framering/CFrameRingWriter.h"
#include "ipc/CGraphErrInfo.h"
#include "ipc/CRgCenterClient.h"
#include "support/CheckedGraph.h"
#include "support/CodedPicture.h"
#include "support/RegisteredFilterDll.h"
#include "support/TestProcess.h"

// fontis_vcam.dll registered for the whole program.
extern RegisteredFilterDll* const g_vcam;

// Points the current user's virtual camera settings at a new instance of the test's own, and
// removes them again at the end.
class ScopedVcamInstance {
 public:
  explicit ScopedVcamInstance(const wchar_t* prefix) : m_name(UniqueInstanceName(prefix)) {
    EXPECT_EQ(S_OK, CVcamSettings().StoreInstance(m_name.c_str()));
  }
  ~ScopedVcamInstance() { CVcamSettings().Reset(); }
  const std::wstring& Name() const { return m_name; }

 private:
  std::wstring m_name;
};

// Plays an instance's serving host in this process: it owns the liveness flag and reports a
// built graph, so that a filter finds a healthy host and starts none. Ends as a host ends.
class FakeHost {
 public:
  explicit FakeHost(const std::wstring& instance);
  ~FakeHost();
  bool Serving() const { return m_serving; }
  CGraphErrInfo& Status() { return m_status; }

 private:
  CGraphErrInfo m_status;
  ScopedHandle m_liveLock, m_liveFlag, m_liveWait;
  bool m_serving = false;
};

// The sink's connection type as the converter's target.
TargetFormat SinkTarget(CFrameCheckRenderer& sink);

// A frame ring of the instance written from a thread of this program: 1280 x 720 NV12 coded
// pictures of codes 1..`codes` in turn, about 30 a second, like a host's ring; it notes when each
// code was last published. Stop() ends the writer, which closes the ring.
class CodedRingWriter {
 public:
  static constexpr LONG kWidth = 1280, kHeight = 720;
  static constexpr int kMaxCodes = 64;
  explicit CodedRingWriter(const std::wstring& instance, int codes = 4);
  ~CodedRingWriter() { Stop(); }
  bool Started() const { return m_started; }
  void Stop();
  void Pause(bool paused) { m_paused = paused; }
  // When the picture of `code` was last published, on the ring's clock (RingClockNow); 0 when
  // never.
  LONG64 PublishedAt(uint16_t code) const {
    return code >= 1 && code <= m_pictures.size() ? m_published[code - 1].load() : 0;
  }

 private:
  void Run();

  CFrameRingWriter m_writer;
  std::vector<std::vector<BYTE>> m_pictures;
  std::atomic<LONG64> m_published[kMaxCodes] = {};
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_paused{false};
  bool m_started = false;
  std::thread m_thread;
};

// The code of the coded picture, the right way up, in a sample; 0 when it holds none (a
// placeholder).
uint16_t CodeOf(const TargetFormat& target, const BYTE* sample, size_t bytes);
inline uint16_t CodeOf(const TargetFormat& target, const std::vector<BYTE>& sample) {
  return CodeOf(target, sample.data(), sample.size());
}
