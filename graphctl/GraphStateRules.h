// When the host's graph counts as being in a valid state: the rule the monitor loop's stall
// countdown and the shell's restart decisions rest on, as plain functions over plain records.
// Callable from any thread; no COM, no locks.
//
// The graph is valid when its run state matches the clients' demand and, when some client has
// written the format it uses into the request channel's output slots, that format fits the
// clients' request. A format fits when it has the requested width and |height|, or when it is
// exactly what the graph delivers in answer to that very request: a camera without a capability
// of the requested size delivers the nearest one (or keeps the previous one when it refused the
// request), and a client using that must not make the host look stalled and end it.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <cstdint>

// The frame size a format block carries: biWidth and |biHeight|, read from a block long enough
// to hold them.
struct FrameExtent {
  bool known = false;
  LONG width = 0;
  int64_t height = 0;  // |biHeight|, in 64 bits so that LONG_MIN has one
  bool SameSize(const FrameExtent& other) const {
    return known && other.known && width == other.width && height == other.height;
  }
};

FrameExtent FrameExtentOf(const AM_MEDIA_TYPE& type);

struct GraphStateInputs {
  bool runStateDiffers = false; // the clients' demand for video differs from the running flag
  bool outputHasType = false;   // some output slot carries a format in use
  FrameExtent requested;        // the clients' largest requested format
  FrameExtent output;           // the largest format in use
  FrameExtent answeredRequest;  // the request the camera's format was last chosen for
  FrameExtent delivered;        // what the camera delivers for answeredRequest
};

// For a built graph; a host without a graph is always valid.
bool IsBuiltGraphStateValid(const GraphStateInputs& inputs);
