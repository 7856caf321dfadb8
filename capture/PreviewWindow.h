// Placing the preview renderer's video window inside the host's preview owner window.
// Free functions on the calling thread (the graph-control operation's, under its lock).
#pragma once

#include <windows.h>
#include <strmif.h>
#include <control.h>

// The video window's extent inside the owner: the owner's client area less one border height at
// the bottom, never negative. An owner that cannot be measured gives 0 x 0.
void PreviewExtent(HWND owner, LONG* width, LONG* height);

// The graph's IVideoWindow, or its QueryInterface failure (no interface declaration for
// IID_PPV_ARGS is available for it everywhere).
HRESULT QueryVideoWindow(IUnknown* graph, IVideoWindow** window);

// Makes the graph's video window a visible child of owner that fills PreviewExtent, following an
// iconic, zoomed or hidden owner. The result is put_Visible's; E_INVALIDARG for null arguments.
HRESULT AttachPreviewWindow(IGraphBuilder* graph, HWND owner);
