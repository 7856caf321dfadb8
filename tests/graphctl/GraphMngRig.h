// What the graph-control object's tests share: a window of the test thread whose procedure
// records the host's private messages, and a fixture with the object, the clients of its request
// channel and a client's view of its status record.
//
// The monitor loop counts in cycles, so the tests do too: while a camera request is pending, the
// loop posts WM_HOST_DEVICE_CHANGED once in every cycle, and those posts are the tests' clock.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "graphctl/CFontisGraphMng.h"
#include "graphctl/HostMessages.h"
#include "support/FilterEnvironment.h"
#include "support/StatusFixture.h"
#include "support/TestClients.h"

class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder() { ::DestroyWindow(m_window); }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  HWND Window() const { return m_window; }
  // How often the message (one of the host's, or WM_QUIT) is among the log entries [from, to).
  size_t Count(UINT message, size_t from = 0, size_t to = SIZE_MAX) const;
  size_t Ticks(size_t from = 0, size_t to = SIZE_MAX) const { return Count(WM_HOST_DEVICE_CHANGED, from, to); }
  // Log indices of a message.
  std::vector<size_t> IndicesOf(UINT message) const;
  // Pumps this thread's messages until `count` more ticks have arrived.
  bool WaitTicks(size_t count);
  // Takes in what is already posted; the log's size afterwards.
  size_t Drain();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND m_window = nullptr;
  std::vector<UINT> m_log;
};

class GraphMngTest : public StatusFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The object for this test's instance, its clients' channel opened.
  void Create(BOOL exitWhenNoClient);
  // Hands the object a test camera with the recorder's window (no preview).
  HRESULT Configure(size_t cameraProfile, BOOL build);
  // The clients' current request applied to the camera, then built: the shell's start.
  HRESULT BuildAtRequestedFormat();
  // A camera request that nobody acknowledges: the loop's clock starts ticking.
  void StartTicking() { ASSERT_EQ(S_OK, client.RequestDevice(L"Another camera", GUID_NULL)); }
  // What the camera delivers in the built graph: width and height, or 0 x 0.
  std::pair<LONG, LONG> DeliveredSize() const;
  // Whether a frame newer than `after` arrives in the instance's ring.
  bool NextFrame(LONG64 after) const;
  // The record's state, pending, released and result, and the connect and run events.
  std::tuple<int32_t, uint32_t, uint32_t, HRESULT, unsigned> Status() const;

  std::unique_ptr<CFontisGraphMng> graph;
  Microsoft::WRL::ComPtr<IBaseFilter> camera;
  TestClients clients;
  MessageRecorder messages;
};

// A generous limit for waits on the monitor loop and the graph on a loaded machine.
constexpr DWORD kLoopWaitMs = 20000;

// The events as Events() reports them.
constexpr unsigned kConnect = 1;
constexpr unsigned kRun = 2;

// The status record and the connect and run events as a client reads them.
#define EXPECT_STATUS(state, pending, released, result, events) \
  EXPECT_EQ(std::make_tuple(state, pending, released, static_cast<HRESULT>(result), events), Status())
