// The graph-control object: owns the camera, the renderers, the graph owner and the channels,
// and drives the graph under one lock for the main and the monitor thread.
#pragma once

class CFontisGraphMng {
 public:
  virtual ~CFontisGraphMng() = default;
};
