// Pieces of the capture graph that need no graph owner: finding pins, reading a pin's category,
// creating the graph object, and taking a graph apart.
//
// Free functions without state or locks; they run on the caller's thread, which must have COM
// initialised.
#pragma once

#include <windows.h>
#include <strmif.h>

// At most this many pins are looked at on one filter, and this many filters in one graph: a
// camera's enumerator that never says "no more" cannot keep the graph's thread in a loop.
constexpr int kMaxFilterPins = 64;
constexpr int kMaxGraphFilters = 256;

// The first free pin of that direction, of that category unless GUID_NULL, whose name contains
// namePart unless null (case-sensitive). E_FAIL when there is none; E_POINTER for null arguments.
HRESULT FindPin(IBaseFilter* filter, IPin** pin, PIN_DIRECTION direction, GUID category, const WCHAR* namePart);

// The pin's category through its IKsPropertySet; the QueryInterface failure for a pin without it.
HRESULT GetPinCategory(IPin* pin, GUID* category);

// A filter graph: the variant without a thread of its own (whose creating thread must dispatch
// messages for the graph's life) when noThread is set, the ordinary one otherwise.
HRESULT CreateFilterGraph(IGraphBuilder** graph, BOOL noThread);

// Removes everything from the graph: the camera's downstream chain first, then every filter,
// each tried once. Every filter is stopped first: a filter left paused cannot be disconnected.
// The first failure of a filter that refuses to leave, after all the others have gone; S_OK
// when every filter went.
HRESULT TearDownGraph(IGraphBuilder* graph);

// Stops every filter of the graph directly. The graph's own Stop does nothing while the graph
// holds itself stopped, and a Run that fails half-way (one filter refusing to pause) leaves the
// filters paused before it so, with the graph still stopped.
void StopEveryFilter(IGraphBuilder* graph);

// Disconnects and removes, depth first, every filter that the filter's outputs feed (to a
// bounded depth).
void RemoveDownstream(IBaseFilter* filter, IGraphBuilder* graph);
