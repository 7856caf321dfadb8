// Instance arguments of the commands, and the frame ring that one names.
#pragma once

#include <windows.h>

#include "framering/CFrameRingReader.h"

// True when text can name an instance: not empty and short enough for the shared records.
bool IsInstanceArgument(const wchar_t* text);

// Opens the instance's frame ring read-only. Returns kExitOk, or kExitNoInstance after saying why
// on the error stream.
int OpenInstanceFrameRing(const wchar_t* instance, CFrameRingReader* reader);
