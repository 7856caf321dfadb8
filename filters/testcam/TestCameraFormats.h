// Media types and capability records of the test camera's formats, and the reverse lookup from
// a media type to the format it describes. No COM objects; any thread.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "common/CMediaType.h"
#include "filters/testcam/TestCameraProfiles.h"
#include "filters/testcam/TestPattern.h"

GUID TestCamSubtypeGuid(TestCamSubtype subtype);

// MEDIATYPE_Video / FORMAT_VideoInfo type of a format: fixed-size samples of biSizeImage bytes,
// AvgTimePerFrame from the frame rate.
HRESULT BuildTestCamMediaType(const TestCameraFormat& format, CMediaType* type);

// The full 128-byte record of a format (fixed size, fixed frame interval).
void BuildTestCamStreamCaps(const TestCameraFormat& format, VIDEO_STREAM_CONFIG_CAPS* caps);

// The profile format that `type` describes: video, VIDEOINFOHEADER, same subtype, width and
// |height| (top-down only for RGB24), a sample size that covers the picture. False otherwise.
bool FindTestCamFormat(const TestCameraProfile& profile, const AM_MEDIA_TYPE& type, size_t* index);

// The picture layout of a video type with a VIDEOINFOHEADER of one of our subtypes, in the row
// order its biHeight says.
bool TestFrameLayoutFromType(const AM_MEDIA_TYPE& type, TestFrameLayout* layout);
