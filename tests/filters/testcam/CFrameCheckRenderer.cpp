// Frame-checking test renderer.
#include "CFrameCheckRenderer.h"

#include <new>

CFrameCheckRenderer* CFrameCheckRenderer::Create(const GUID& onlySubtype) {
  return new (std::nothrow) CFrameCheckRenderer(onlySubtype);
}

CFrameCheckRenderer::CFrameCheckRenderer(const GUID& onlySubtype)
    : CBaseFilter(CLSID_FrameCheckRenderer), m_pin(this, onlySubtype) {}
