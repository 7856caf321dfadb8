// The braced registry text of a GUID ("{8-4-4-4-12}", as StringFromGUID2 writes it), read
// strictly: 38 characters, hexadecimal digits of either case, nothing else. Unlike
// CLSIDFromString it never looks a program id up, so text from anywhere is safe to give it.
#pragma once

#include <windows.h>

bool ParseGuidText(const WCHAR* text, GUID* guid);
