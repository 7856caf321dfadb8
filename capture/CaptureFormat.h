// Choosing the camera's capture format on its stream-configuration interface, reading the format
// it delivers once connected, and fixing a bitmap format's image size. Free functions on the
// calling thread; SetPinFormat is used while no graph is built.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "common/CMediaType.h"

// Sets on the first pin of the category (a pin whose category cannot be read is taken too) the
// capability that matches the request's frame size exactly, else the nearest in pixel count, and
// writes the capability's media type back into mediaType. A request that is not video with a
// VIDEOINFOHEADER, or that has a height but no width, instead receives the pin's current format.
// E_FAIL for a null filter, a request without format block, or when no pin takes a format;
// SetFormat's result when an exact size is refused. mediaType changes only on success.
HRESULT SetPinFormat(IBaseFilter* filter, GUID category, CMediaType* mediaType);

// The connection type of the first connected output pin of the category (a pin whose category
// cannot be read is taken too): what the camera delivers in a built graph. E_FAIL, with
// mediaType unchanged, when no such pin is connected; E_OUTOFMEMORY as CMediaType::CopyFrom.
HRESULT GetConnectedFormat(IBaseFilter* filter, GUID category, CMediaType* mediaType);

// For a fixed-size-sample type with a VIDEOINFOHEADER: biSizeImage and lSampleSize become the
// row length rounded to 4 bytes times |biHeight|. Anything else is left alone. Always S_OK.
HRESULT UpdateImageSize(CMediaType* mediaType);
