// fontis_ring_peer: a frame ring reader or writer in a process of its own, for the renderer's
// cross-process tests. Frames follow RingTestPattern.h.
//   read INSTANCE COUNT   check frames until COUNT distinct ones were whole (0: until killed;
//                         -1: open the ring and never read it); exit 0, 1 on a torn frame,
//                         3 without a ring, 4 when too slow
//   write INSTANCE W H    publish W x H frames without pause until killed
// Each sets "<INSTANCE>_ring_peer_ready" once it is in the state the test waits for.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "RingTestPattern.h"
#include "common/ScopedHandle.h"
#include "framering/CFrameRingReader.h"
#include "framering/CFrameRingWriter.h"
#include "support/WaitUntil.h"

namespace {

constexpr int kExitTorn = 1, kExitBadArguments = 2, kExitNoRing = 3, kExitTimedOut = 4;

void SignalReady(const std::wstring& instance) {
  ScopedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, (instance + L"_ring_peer_ready").c_str()));
  ::SetEvent(ready.Get());
}

int Read(const std::wstring& instance, LONG64 count) {
  CFrameRingReader reader;
  if (!WaitUntil([&] { return SUCCEEDED(reader.Open(instance.c_str())); }, 10000)) return kExitNoRing;
  if (count < 0) {
    SignalReady(instance);
    ::Sleep(INFINITE);
  }
  std::vector<BYTE> pixels;
  LONG64 last = 0, checked = 0;
  const ULONGLONG end = ::GetTickCount64() + 60000;
  while (count == 0 || checked < count) {
    if (count != 0 && ::GetTickCount64() >= end) return kExitTimedOut;
    FrameRingFrame frame = {};
    if (!reader.WaitForFrame(last, 100) || reader.ReadLatest(&pixels, &frame) != S_OK) continue;
    if (!IsWholeTestFrame(frame, pixels.data(), pixels.size())) return kExitTorn;
    if (frame.counter > last && checked++ == 0) SignalReady(instance);
    last = frame.counter;
  }
  return 0;
}

int Write(const std::wstring& instance, LONG width, LONG height) {
  CFrameRingWriter writer;
  std::vector<BYTE> pixels(static_cast<size_t>(width) * height * 4);
  if (FAILED(writer.Open(instance.c_str())) || FAILED(writer.Reserve(static_cast<LONG64>(pixels.size())))) {
    return kExitNoRing;
  }
  for (bool signalled = false;; signalled = true) {
    const LONG64 counter = writer.NextCounter();
    FillTestFrame(counter, pixels.data(), pixels.size());
    writer.Publish(TestFrameDescription(counter, width, height), pixels.data());
    if (!signalled) SignalReady(instance);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc >= 3 ? argv[1] : L"", instance = argc >= 3 ? argv[2] : L"";
  if (mode == L"read" && argc == 4) return Read(instance, _wtoi64(argv[3]));
  if (mode == L"write" && argc == 5) return Write(instance, _wtol(argv[3]), _wtol(argv[4]));
  return kExitBadArguments;
}
