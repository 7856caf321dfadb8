// The capture renderer's private control interface, as the host and the renderer share it.
// The renderer is created in process by CLSID and asked for IBaseFilter; this interface is then
// obtained from it with QueryInterface(IID_IRendererControl, ...).
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <strmif.h>

// {6B1E3F0A-5C2D-4E8B-9A47-2D31C5F08E61}
inline constexpr CLSID CLSID_FontisCaptureRenderer = {
    0x6B1E3F0A, 0x5C2D, 0x4E8B, {0x9A, 0x47, 0x2D, 0x31, 0xC5, 0xF0, 0x8E, 0x61}};
// {A3D90C57-1F64-4B2A-8E3D-7C6F1B2E9D40}
inline constexpr IID IID_IRendererControl = {
    0xA3D90C57, 0x1F64, 0x4B2A, {0x8E, 0x3D, 0x7C, 0x6F, 0x1B, 0x2E, 0x9D, 0x40}};

// The renderer's name in a filter graph.
inline constexpr WCHAR kCaptureRendererName[] = L"QV Capture Renderer";

// Methods in this order after IUnknown's three; the vtable layout is the contract.
struct IRendererControl : public IUnknown {
  // The instance whose clients receive the frames; names the frame ring. Given once, before
  // the renderer is connected. Our renderer refuses it while another writes that ring.
  virtual HRESULT STDMETHODCALLTYPE SetInstanceName(LPCWSTR instanceName) = 0;
  // An option value of the host, recorded for the clients.
  virtual HRESULT STDMETHODCALLTYPE SetOption(DWORD option) = 0;
  // An event of the host that the renderer sets when the clients' largest requested format no
  // longer matches the format it renders. The renderer duplicates the handle.
  virtual HRESULT STDMETHODCALLTYPE SetFormatEvent(HANDLE formatEvent) = 0;
  // The capture format about to be set on the camera's pin: the clients' request, in whatever
  // subtype and header they wrote. A failure stops the format change, so our renderer fails
  // only for a null pointer.
  virtual HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE* mediaType) = 0;
};

// The interface declares no __uuidof (kept portable), so ComPtr::As cannot find it; query with
// this. *control is null on failure.
inline HRESULT QueryRendererControl(IUnknown* object, IRendererControl** control) {
  if (object == nullptr || control == nullptr) return E_POINTER;
  *control = nullptr;
  return object->QueryInterface(IID_IRendererControl, reinterpret_cast<void**>(control));
}
