// The renderer's format event against a real request channel: set once per change of the
// clients' largest request that differs from what it renders, never for the same request again.
#include <gtest/gtest.h>

#include "support/RendererRig.h"
#include "common/ComReferences.h"
#include "ipc/CRgCenterClient.h"
#include "support/TestProcess.h"

using Microsoft::WRL::ComPtr;

namespace {

// Long enough for several polls of the renderer's watch.
constexpr DWORD kQuietMs = 4 * CFormatWatcher::kPollMs;
constexpr DWORD kSignalMs = 3000;

int TakeClientSlot(CRgCenterClient& client, LONG width, LONG height) {
  int slot = -1;
  const CMediaType type = VideoType(VideoSubtype::kRgb24, width, height);
  EXPECT_EQ(S_OK, client.TakeSlot(CurrentClientIdentity(), TRUE, type.Get(), &slot));
  return slot;
}

}  // namespace

TEST(CaptureRendererFormatEvent, SetOncePerChangeOfTheClientsLargestRequest) {
  const std::wstring instance = UniqueInstanceName(L"rformat");
  CRgCenterClient client;
  ASSERT_EQ(S_OK, client.Open(instance.c_str(), CRgCenterClient::OpenMode::kCreateOrOpen));
  const int first = TakeClientSlot(client, 640, 480);
  ComPtr<IBaseFilter> renderer;
  ASSERT_EQ(S_OK, HandOutNewObject(CCaptureRenderer::Create(), IID_PPV_ARGS(&renderer)));
  ComPtr<IRendererControl> control;
  ASSERT_EQ(S_OK, QueryRendererControl(renderer.Get(), &control));
  ScopedHandle formatEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr));  // the host's: auto-reset
  ASSERT_EQ(S_OK, control->SetInstanceName(instance.c_str()));
  {
    // The renderer keeps its own duplicate: the copy handed over may be closed at once.
    HANDLE handedOver = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), formatEvent.Get(), ::GetCurrentProcess(), &handedOver, 0,
                                  FALSE, DUPLICATE_SAME_ACCESS));
    ScopedHandle closedSoon(handedOver);
    ASSERT_EQ(S_OK, control->SetFormatEvent(closedSoon.Get()));
  }
  ASSERT_EQ(S_OK, control->SetMediaType(&VideoType(VideoSubtype::kRgb24, 640, 480).Get()));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(formatEvent.Get(), kQuietMs))
      << "the request is what the renderer renders";

  // A second client asks for more: one signal, and no more while that request stands, even
  // though the renderer still renders the smaller format.
  const int second = TakeClientSlot(client, 1280, 720);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(formatEvent.Get(), kSignalMs));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(formatEvent.Get(), kQuietMs));
  // It leaves: the largest request is the rendered format again, nothing to tell.
  ASSERT_EQ(S_OK, client.ReleaseSlot(second, CurrentClientIdentity()));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(formatEvent.Get(), kQuietMs));
  // Another asks for full HD; the host rebuilds in it and the renderer hears of it.
  TakeClientSlot(client, 1920, 1080);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(formatEvent.Get(), kSignalMs));
  ASSERT_EQ(S_OK, control->SetMediaType(&VideoType(VideoSubtype::kRgb24, 1920, 1080).Get()));
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(formatEvent.Get(), kQuietMs));
  ASSERT_EQ(S_OK, client.ReleaseSlot(first, CurrentClientIdentity()));
}
