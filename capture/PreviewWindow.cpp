#include "PreviewWindow.h"

#include <dshow.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

void PreviewExtent(HWND owner, LONG* width, LONG* height) {
  RECT client = {};
  if (owner == nullptr || !::GetClientRect(owner, &client)) client = RECT{};
  const LONG bottom = client.bottom - ::GetSystemMetrics(SM_CYBORDER);
  *width = client.right;
  *height = bottom < 0 ? 0 : bottom;
}

HRESULT QueryVideoWindow(IUnknown* graph, IVideoWindow** window) {
  if (graph == nullptr || window == nullptr) return E_POINTER;
  *window = nullptr;
  return graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(window));
}

HRESULT AttachPreviewWindow(IGraphBuilder* graph, HWND owner) {
  if (graph == nullptr || owner == nullptr) return E_INVALIDARG;
  ComPtr<IVideoWindow> window;
  HRESULT hr = QueryVideoWindow(graph, &window);
  if (hr != S_OK) return hr;
  if (!window) return E_NOINTERFACE;

  // Placement is best effort: only whether the window became visible is reported.
  window->put_Owner(reinterpret_cast<OAHWND>(owner));
  window->put_WindowStyle(WS_CHILD);
  LONG width = 0;
  LONG height = 0;
  PreviewExtent(owner, &width, &height);
  if (::IsIconic(owner)) {
    window->put_WindowState(SW_MINIMIZE);
  } else if (::IsZoomed(owner)) {
    window->put_WindowState(SW_MAXIMIZE);
  } else if (!::IsWindowVisible(owner)) {
    window->put_WindowState(SW_HIDE);
  }
  window->SetWindowPosition(0, 0, width, height);
  window->put_AutoShow(OAFALSE);
  return window->put_Visible(OATRUE);
}
