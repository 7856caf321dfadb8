// For programs that build the host's graphs: the test cameras and the capture renderer
// registered for the whole program, and the check that no filter object outlived a test.
// The environments run on the program's main thread, which they put in the multithreaded
// apartment.
#pragma once

#include <windows.h>

#include "support/TestCameraGraph.h"
#include "support/WaitUntil.h"

// Every test camera and capture renderer object is gone once the graph and the test let go.
void ExpectNoLiveFilters();

// Whether the capture renderer is registered for this program. A program that never calls
// anything of FilterEnvironment.cpp would not even link the environment that registers it, so
// programs that only start other processes (which create the renderer) ask this first.
bool IsCaptureRendererRegistered();
